#include "Shaders.h"

#include <QtGlobal>

#include <string>

namespace platform {

namespace {

// Both sources come after a "#version" line and a "#define" of FLAT, TEXTURE and SPECULAR (0 or 1).
const char* const kVertexShader = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aTexCoord;

// Direct3D matrices arrive unchanged: GLSL reads them transposed, so M * v is v x M.
// What changes from draw to draw, sent in one call: the world matrix's rows (0-3), the rows of the
// inverse transpose of its 3 x 3 part (4-6), and the material (7-11: diffuse, ambient, specular,
// emissive, (power, 0, 0, 0)).
uniform vec4 uDraw[12];
uniform mat4 uViewProj;
uniform vec3 uEye; // camera position in world space
// light: diffuse, ambient, specular, direction (world space, the way the light travels)
uniform vec4 uLight[4];
uniform vec4 uAmbient; // the ambient render state
// lighting, light enabled, (unused), normalise normals
uniform ivec4 uFlags;
uniform int uRemapDepth; // 1 when clip depth 0..1 must be mapped to OpenGL's -1..1 here

#if FLAT
flat out vec4 vColor;
#else
out vec4 vColor;
#endif
#if SPECULAR
#if FLAT
flat out vec3 vSpecular;
#else
out vec3 vSpecular;
#endif
#endif
#if TEXTURE
out vec2 vTexCoord;
#endif

void main() {
    mat4 worldMatrix = mat4(uDraw[0], uDraw[1], uDraw[2], uDraw[3]);
    vec4 world = worldMatrix * vec4(aPosition, 1.0);
    gl_Position = uViewProj * world;
    if (uRemapDepth != 0)
        gl_Position.z = 2.0 * gl_Position.z - gl_Position.w;
#if TEXTURE
    vTexCoord = aTexCoord;
#endif

    vec4 color = vec4(1.0);
    vec3 specular = vec3(0.0);
    if (uFlags.x != 0) {
        vec3 n = mat3(uDraw[4].xyz, uDraw[5].xyz, uDraw[6].xyz) * aNormal;
        if (uFlags.w != 0 && dot(n, n) > 0.0)
            n = normalize(n);
        vec3 ambient = uAmbient.rgb;
        vec3 diffuse = vec3(0.0);
        if (uFlags.y != 0) {
            vec3 toLight = -normalize(uLight[3].xyz);
            ambient += uLight[1].rgb;
            float nDotL = dot(n, toLight);
            if (nDotL > 0.0) {
                diffuse = uLight[0].rgb * nDotL;
#if SPECULAR
                if (uDraw[11].x > 0.0) {
                    vec3 h = normalize(normalize(uEye - world.xyz) + toLight);
                    float nDotH = dot(n, h);
                    if (nDotH > 0.0)
                        specular = uDraw[9].rgb * uLight[2].rgb * pow(nDotH, uDraw[11].x);
                }
#endif
            }
        }
        color.rgb = uDraw[10].rgb + uDraw[8].rgb * ambient + uDraw[7].rgb * diffuse;
        color.a = uDraw[7].a;
    }
    vColor = clamp(color, 0.0, 1.0);
#if SPECULAR
    vSpecular = clamp(specular, 0.0, 1.0);
#endif
}
)";

const char* const kFragmentShader = R"(
#if FLAT
flat in vec4 vColor;
#else
in vec4 vColor;
#endif
#if SPECULAR
#if FLAT
flat in vec3 vSpecular;
#else
in vec3 vSpecular;
#endif
#endif
#if TEXTURE
in vec2 vTexCoord;
uniform sampler2D uTexture;
#endif
out vec4 fragColor;

void main() {
    vec4 color = vColor;
#if TEXTURE
    // Stage 0 as Direct3D sets it up: colour = texture x diffuse, alpha = texture alpha.
    vec4 t = texture(uTexture, vTexCoord);
    color = vec4(color.rgb * t.rgb, t.a);
#endif
#if SPECULAR
    color.rgb += vSpecular;
#endif
    fragColor = clamp(color, 0.0, 1.0);
}
)";

} // namespace

GLuint LinkShaderProgram(QOpenGLFunctions_3_3_Core& f, const char* header, const char* vertexSource,
                         const char* fragmentSource) {
    auto compile = [&](GLenum type, const char* source) -> GLuint {
        const GLuint s = f.glCreateShader(type);
        const char* parts[2] = {header, source};
        f.glShaderSource(s, 2, parts, nullptr);
        f.glCompileShader(s);
        GLint ok = 0;
        f.glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            f.glGetShaderInfoLog(s, sizeof log, nullptr, log);
            qWarning("Device: shader does not compile: %s", log);
            f.glDeleteShader(s);
            return 0;
        }
        return s;
    };
    const GLuint vs = compile(GL_VERTEX_SHADER, vertexSource);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, fragmentSource);
    if (!vs || !fs) {
        if (vs)
            f.glDeleteShader(vs);
        if (fs)
            f.glDeleteShader(fs);
        return 0;
    }
    const GLuint program = f.glCreateProgram();
    f.glAttachShader(program, vs);
    f.glAttachShader(program, fs);
    f.glLinkProgram(program);
    f.glDeleteShader(vs);
    f.glDeleteShader(fs);
    GLint linked = 0;
    f.glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        char log[2048] = {};
        f.glGetProgramInfoLog(program, sizeof log, nullptr, log);
        qWarning("Device: shader does not link: %s", log);
        f.glDeleteProgram(program);
        return 0;
    }
    return program;
}

bool BuildShaderProgram(QOpenGLFunctions_3_3_Core& functions, int variant, ShaderProgram& p) {
    QOpenGLFunctions_3_3_Core* f = &functions;
    const std::string header = "#version 330 core\n#define FLAT " +
                               std::to_string(variant & kVariantFlat ? 1 : 0) + "\n#define TEXTURE " +
                               std::to_string(variant & kVariantTexture ? 1 : 0) + "\n#define SPECULAR " +
                               std::to_string(variant & kVariantSpecular ? 1 : 0) + "\n";
    const GLuint program = LinkShaderProgram(functions, header.c_str(), kVertexShader, kFragmentShader);
    if (!program)
        return false;
    p.name = program;
    auto loc = [&](const char* name) { return f->glGetUniformLocation(program, name); };
    p.draw = loc("uDraw");
    p.viewProj = loc("uViewProj");
    p.eye = loc("uEye");
    p.light = loc("uLight");
    p.ambient = loc("uAmbient");
    p.flags = loc("uFlags");
    p.remapDepth = loc("uRemapDepth");
    p.texture = loc("uTexture");
    return true;
}

} // namespace platform
