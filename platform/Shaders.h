// The Device's shaders: Direct3D's fixed-function lighting of one directional light, worked out
// per vertex (Gouraud) as Direct3D does, and stage 0's texture, in one vertex and one fragment
// shader. They are built in variants (see ShaderVariant) so that each draws with only the inputs
// and outputs it needs: every value passed from vertex to pixel costs the software rasteriser work
// on each triangle.
#pragma once

#include <QOpenGLFunctions_3_3_Core>

namespace platform {

// The variant switches, as bits of a variant number: flat shading (the colour of the first
// vertex), a texture bound to stage 0, and the specular render state.
enum : int { kVariantFlat = 1, kVariantTexture = 2, kVariantSpecular = 4, kVariantCount = 8 };

inline int ShaderVariant(bool flat, bool textured, bool specular) {
    return (flat ? kVariantFlat : 0) | (textured ? kVariantTexture : 0) | (specular ? kVariantSpecular : 0);
}

// A linked variant and its uniforms. What changes from draw to draw is sent in one call, `draw`
// (vec4[12]): the world matrix's rows (0-3), the rows of the inverse transpose of its 3 x 3 part
// (4-6), and the material (7-11: diffuse, ambient, specular, emissive, (power, 0, 0, 0)).
// `light` is vec4[4]: diffuse, ambient, specular, and the direction the light travels in world
// space; `flags` is (lighting, light enabled, specular, normalise normals).
struct ShaderProgram {
    GLuint name = 0; // 0: not built
    GLint draw = -1, viewProj = -1, eye = -1, light = -1, ambient = -1, flags = -1, remapDepth = -1,
          texture = -1;
};

// Compiles the two shaders (each source after `header`) and links them on the current context;
// 0, with a warning, when either does not compile or they do not link.
GLuint LinkShaderProgram(QOpenGLFunctions_3_3_Core& f, const char* header, const char* vertexSource,
                         const char* fragmentSource);

// Compiles and links `variant` on the current context into `program`. Returns false, with a
// warning, when it does not compile or link; `program` is then left as it was.
bool BuildShaderProgram(QOpenGLFunctions_3_3_Core& f, int variant, ShaderProgram& program);

} // namespace platform
