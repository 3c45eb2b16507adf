// Direct3D's render states, transforms, light and material translated into OpenGL state and the
// shader's uniforms. Only what changed since the last draw is sent.
#include "DeviceGl.h"

#include "Math.h"
#include "Texture.h"

#include <algorithm>
#include <cstring>

namespace platform {

std::uint32_t DefaultRenderState(int state) {
    switch (state) {
    case rs::ZEnable:
    case rs::ZWriteEnable:
    case rs::Clipping:
    case rs::Lighting:
        return 1;
    case rs::ShadeMode:
        return rs::ShadeGouraud;
    case rs::SrcBlend:
        return rs::BlendOne;
    case rs::DestBlend:
        return rs::BlendZero;
    case rs::CullMode:
        return rs::CullCCW;
    case rs::ZFunc:
        return rs::CmpLessEqual;
    default:
        return 0;
    }
}

namespace {

GLenum glBlendFactor(std::uint32_t f) {
    switch (f) {
    case rs::BlendZero:
        return GL_ZERO;
    case rs::BlendOne:
        return GL_ONE;
    case rs::BlendSrcColor:
        return GL_SRC_COLOR;
    case rs::BlendInvSrcColor:
        return GL_ONE_MINUS_SRC_COLOR;
    case rs::BlendSrcAlpha:
        return GL_SRC_ALPHA;
    case rs::BlendInvSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case rs::BlendDestAlpha:
        return GL_DST_ALPHA;
    case rs::BlendInvDestAlpha:
        return GL_ONE_MINUS_DST_ALPHA;
    case rs::BlendDestColor:
        return GL_DST_COLOR;
    case rs::BlendInvDestColor:
        return GL_ONE_MINUS_DST_COLOR;
    case rs::BlendSrcAlphaSat:
        return GL_SRC_ALPHA_SATURATE;
    default:
        return GL_ONE;
    }
}

GLenum glCompare(std::uint32_t f) {
    if (f < rs::CmpNever || f > rs::CmpAlways)
        return GL_LEQUAL;
    return GL_NEVER + (f - rs::CmpNever); // GL_NEVER .. GL_ALWAYS are consecutive
}

// Transpose of the inverse of m's upper 3 x 3 (row-major), i.e. the cofactor matrix / det; zero
// when singular.
void normalMatrix(const Matrix& m, float out[9]) {
    const float a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    const float d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    const float g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    const float c00 = e * i - f * h, c01 = f * g - d * i, c02 = d * h - e * g;
    const float det = a * c00 + b * c01 + c * c02;
    if (det == 0.0f) {
        std::fill(out, out + 9, 0.0f);
        return;
    }
    const float k = 1.0f / det;
    out[0] = c00 * k;
    out[1] = c01 * k;
    out[2] = c02 * k;
    out[3] = (c * h - b * i) * k;
    out[4] = (a * i - c * g) * k;
    out[5] = (b * g - a * h) * k;
    out[6] = (b * f - c * e) * k;
    out[7] = (c * d - a * f) * k;
    out[8] = (a * e - b * d) * k;
}

} // namespace

void Device::applyState() {
    Gl& gl = *m_gl;
    State& st = *m_state;
    QOpenGLFunctions_3_3_Core* f = gl.f;
    if (!gl.valid) {
        // Everything again: program, target, viewport, depth mapping, and all uniforms.
        bindTarget();
        gl.variant = -1;
        f->glBindVertexArray(0);
        gl.boundVao = 0;
        const Viewport& vp = st.viewport;
        const std::array<int, 4> r = onRenderTarget(vp);
        f->glViewport(r[0], r[1], r[2], r[3]);
        f->glDepthRange(vp.minZ, vp.maxZ);
        if (gl.glClipControl)
            gl.glClipControl(GL_LOWER_LEFT, gl.clipControl ? 0x935F /* GL_ZERO_TO_ONE */
                                                           : 0x935E /* GL_NEGATIVE_ONE_TO_ONE */);
        f->glFrontFace(GL_CW); // left-handed data: front faces run clockwise on screen
        f->glProvokingVertex(GL_FIRST_VERTEX_CONVENTION); // flat shading takes the first vertex
        f->glDisable(GL_SCISSOR_TEST);
        f->glDisable(GL_STENCIL_TEST);
        f->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        f->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        gl.renderStateVersion = gl.textureVersion = 0;
        gl.valid = true;
    }
    if (gl.renderStateVersion != st.renderStateVersion) {
        const std::uint32_t* r = st.renderStates;
        if (r[rs::ZEnable])
            f->glEnable(GL_DEPTH_TEST);
        else
            f->glDisable(GL_DEPTH_TEST);
        f->glDepthFunc(glCompare(r[rs::ZFunc]));
        f->glDepthMask(r[rs::ZWriteEnable] ? GL_TRUE : GL_FALSE);
        switch (r[rs::CullMode]) {
        case rs::CullNone:
            f->glDisable(GL_CULL_FACE);
            break;
        case rs::CullCW: // clockwise faces (our front faces) are culled
            f->glEnable(GL_CULL_FACE);
            f->glCullFace(GL_FRONT);
            break;
        default: // counter-clockwise faces culled
            f->glEnable(GL_CULL_FACE);
            f->glCullFace(GL_BACK);
            break;
        }
        if (r[rs::AlphaBlendEnable]) {
            f->glEnable(GL_BLEND);
            f->glBlendFunc(glBlendFactor(r[rs::SrcBlend]), glBlendFactor(r[rs::DestBlend]));
        } else {
            f->glDisable(GL_BLEND);
        }
        gl.renderStateVersion = st.renderStateVersion;
    }
    if (gl.textureVersion != st.textureVersion) {
        const GLuint textureBound = st.texture ? textureName(*st.texture) : 0;
        f->glActiveTexture(GL_TEXTURE0);
        f->glBindTexture(GL_TEXTURE_2D, textureBound);
        gl.textureBound = textureBound;
        gl.textureVersion = st.textureVersion;
    }
    // The shader variant of these states; a new program has none of the uniforms yet.
    const int variant = ShaderVariant(st.renderStates[rs::ShadeMode] == rs::ShadeFlat, gl.textureBound != 0,
                                      st.renderStates[rs::SpecularEnable] != 0);
    if (variant != gl.variant) {
        ShaderProgram& p = gl.programs[static_cast<std::size_t>(variant)];
        if (!p.name && !BuildShaderProgram(*f, variant, p))
            qWarning("Device: shader variant %d is missing; drawing goes on with the plain one", variant);
        const int used = p.name ? variant : 0;
        const ShaderProgram& program = gl.programs[static_cast<std::size_t>(used)];
        f->glUseProgram(program.name);
        f->glUniform1i(program.remapDepth, gl.clipControl ? 0 : 1);
        f->glUniform1i(program.texture, 0);
        gl.variant = variant;
        gl.loc = &program;
        gl.worldVersion = gl.viewProjVersion = gl.materialVersion = gl.lightVersion = 0;
    }
    if (gl.viewProjVersion != st.viewProjVersion) {
        const Matrix viewProj = MatrixMultiply(st.view, st.projection);
        f->glUniformMatrix4fv(gl.loc->viewProj, 1, GL_FALSE, &viewProj.m[0][0]);
        Vector3 eye;
        if (auto inv = MatrixInverse(st.view))
            eye = {inv->m[3][0], inv->m[3][1], inv->m[3][2]};
        f->glUniform3f(gl.loc->eye, eye.x, eye.y, eye.z);
        gl.viewProjVersion = st.viewProjVersion;
    }
    const bool worldChanged = gl.worldVersion != st.worldVersion;
    const bool materialChanged = gl.materialVersion != st.materialVersion;
    if (worldChanged || materialChanged) {
        float* block = gl.drawBlock;
        if (worldChanged) {
            std::memcpy(block, &st.world.m[0][0], 16 * sizeof(float));
            float n[9];
            normalMatrix(st.world, n);
            for (int row = 0; row < 3; ++row) {
                block[16 + row * 4 + 0] = n[row * 3 + 0];
                block[16 + row * 4 + 1] = n[row * 3 + 1];
                block[16 + row * 4 + 2] = n[row * 3 + 2];
                block[16 + row * 4 + 3] = 0;
            }
            gl.worldVersion = st.worldVersion;
        }
        if (materialChanged) {
            // Material is diffuse, ambient, specular, emissive (four floats each), then the power.
            static_assert(sizeof(Material) == 17 * sizeof(float));
            std::memcpy(block + 28, &st.material, sizeof(Material));
            block[45] = block[46] = block[47] = 0;
            gl.materialVersion = st.materialVersion;
        }
        f->glUniform4fv(gl.loc->draw, 12, block);
    }
    if (gl.lightVersion != st.lightVersion) {
        // The lowest-numbered enabled directional light is the light.
        const Light* light = nullptr;
        for (const auto& [index, on] : st.lightOn)
            if (on) {
                auto it = st.lights.find(index);
                if (it != st.lights.end() && it->second.type == LightType::Directional) {
                    light = &it->second;
                    break;
                }
            }
        if (light) {
            const float v[16] = {
                light->diffuse.r,   light->diffuse.g,   light->diffuse.b,   light->diffuse.a,
                light->ambient.r,   light->ambient.g,   light->ambient.b,   light->ambient.a,
                light->specular.r,  light->specular.g,  light->specular.b,  light->specular.a,
                light->direction.x, light->direction.y, light->direction.z, 0};
            f->glUniform4fv(gl.loc->light, 4, v);
        }
        const std::uint32_t amb = st.renderStates[rs::Ambient];
        f->glUniform4f(gl.loc->ambient, ((amb >> 16) & 0xFF) / 255.0f, ((amb >> 8) & 0xFF) / 255.0f,
                       (amb & 0xFF) / 255.0f, ((amb >> 24) & 0xFF) / 255.0f);
        f->glUniform4i(gl.loc->flags, st.renderStates[rs::Lighting] ? 1 : 0, light ? 1 : 0,
                       st.renderStates[rs::SpecularEnable] ? 1 : 0,
                       st.renderStates[rs::NormalizeNormals] ? 1 : 0);
        gl.lightVersion = st.lightVersion;
    }
}

} // namespace platform
