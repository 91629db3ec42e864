// Shaders generated per state combination: Direct3D 7's vertex lighting, fog
// and texture-stage operations written out as GLSL for the states a draw uses.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/d3d/GLCore.h"

SGLShaderKey SGLShaderDesc::Key() const {
    SGLShaderKey k;
    k.w[0] = fvf;
    k.w[1] = (lighting ? 1u : 0u) | lightCount << 1 | (specularEnable ? 1u << 5 : 0u) |
             (flat ? 1u << 6 : 0u) | fogKind << 7 | fogMode << 9 | (rangeFog ? 1u << 11 : 0u) |
             alphaFunc << 12 | stages << 16 | diffuseSource << 20 | specularSource << 22 |
             ambientSource << 24 | emissiveSource << 26;
    uint32_t types = 0;
    for (int i = 0; i < 8; ++i) types |= lightTypes[i] << (i * 2);
    k.w[2] = types;
    for (int s = 0; s < 3; ++s) {
        k.w[3 + s * 4] = colorOp[s] | colorArg1[s] << 8 | colorArg2[s] << 16;
        k.w[4 + s * 4] = alphaOp[s] | alphaArg1[s] << 8 | alphaArg2[s] << 16;
        k.w[5 + s * 4] = texCoord[s] | (hasTexture[s] ? 1u << 8 : 0u) | (keyed[s] ? 1u << 9 : 0u);
    }
    return k;
}

namespace {

std::string Arg(uint32_t a, int stage) {
    std::string base;
    switch (a & D3DTA_SELECTMASK) {
        case D3DTA_CURRENT:
            base = "cur";
            break;
        case D3DTA_TEXTURE:
            base = "t" + std::to_string(stage);
            break;
        case D3DTA_TFACTOR:
            base = "uTFactor";
            break;
        case D3DTA_SPECULAR:
            base = "vSpecular";
            break;
        default:
            base = "vDiffuse";
            break;
    }
    if (a & D3DTA_ALPHAREPLICATE) base = "vec4(" + base + ".a)";
    if (a & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
    return base;
}

// The result of an operation on two arguments x and y (vec4 expressions); c
// is the channel selector (".rgb" or ".a"), tex the stage's texture sample.
std::string Op(uint32_t op, const std::string& x, const std::string& y, const char* c,
               const std::string& tex) {
    std::string X = "(" + x + ")" + c, Y = "(" + y + ")" + c;
    bool alpha = c[1] == 'a';
    switch (op) {
        case D3DTOP_SELECTARG1:
            return X;
        case D3DTOP_SELECTARG2:
            return Y;
        case D3DTOP_MODULATE:
            return X + " * " + Y;
        case D3DTOP_MODULATE2X:
            return X + " * " + Y + " * 2.0";
        case D3DTOP_MODULATE4X:
            return X + " * " + Y + " * 4.0";
        case D3DTOP_ADD:
            return X + " + " + Y;
        case D3DTOP_ADDSIGNED:
            return X + " + " + Y + " - 0.5";
        case D3DTOP_ADDSIGNED2X:
            return "(" + X + " + " + Y + " - 0.5) * 2.0";
        case D3DTOP_SUBTRACT:
            return X + " - " + Y;
        case D3DTOP_ADDSMOOTH:
            return X + " + " + Y + " - " + X + " * " + Y;
        case D3DTOP_BLENDDIFFUSEALPHA:
            return "mix(" + Y + ", " + X + ", vDiffuse.a)";
        case D3DTOP_BLENDTEXTUREALPHA:
            return "mix(" + Y + ", " + X + ", " + tex + ".a)";
        case D3DTOP_BLENDFACTORALPHA:
            return "mix(" + Y + ", " + X + ", uTFactor.a)";
        case D3DTOP_BLENDCURRENTALPHA:
            return "mix(" + Y + ", " + X + ", cur.a)";
        case D3DTOP_BLENDTEXTUREALPHAPM:
            return X + " + " + Y + " * (1.0 - " + tex + ".a)";
        case D3DTOP_MODULATEALPHA_ADDCOLOR:
            return alpha ? X : "(" + x + ").rgb + (" + x + ").a * (" + y + ").rgb";
        case D3DTOP_MODULATECOLOR_ADDALPHA:
            return alpha ? X : "(" + x + ").rgb * (" + y + ").rgb + vec3((" + x + ").a)";
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
            return alpha ? X : "(1.0 - (" + x + ").a) * (" + y + ").rgb + (" + x + ").rgb";
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
            return alpha ? X : "(vec3(1.0) - (" + x + ").rgb) * (" + y + ").rgb + vec3((" + x + ").a)";
        case D3DTOP_DOTPRODUCT3: {
            std::string d = "clamp(4.0 * dot((" + x + ").rgb - 0.5, (" + y + ").rgb - 0.5), 0.0, 1.0)";
            return alpha ? d : "vec3(" + d + ")";
        }
        case D3DTOP_PREMODULATE:  // the next stage's modulation is not modelled: the argument passes
            return X;
        default:  // bump mapping: the current colour passes
            return std::string("cur") + c;
    }
}

const char* Compare(uint32_t func) {
    switch (func) {
        case D3DCMP_NEVER:
            return "false";
        case D3DCMP_LESS:
            return "a < r";
        case D3DCMP_EQUAL:
            return "a == r";
        case D3DCMP_LESSEQUAL:
            return "a <= r";
        case D3DCMP_GREATER:
            return "a > r";
        case D3DCMP_NOTEQUAL:
            return "a != r";
        case D3DCMP_GREATEREQUAL:
            return "a >= r";
        default:
            return "true";
    }
}

// Which varyings the fragment stage reads: fewer varyings, less to
// interpolate per pixel.
struct SUses {
    bool specular = false;
    bool tex[3] = {};
};
SUses Uses(const SGLShaderDesc& d) {
    SUses u;
    u.specular = d.specularEnable || d.fogKind == 3;
    for (uint32_t st = 0; st < d.stages; ++st) {
        for (uint32_t a : {d.colorArg1[st], d.colorArg2[st], d.alphaArg1[st], d.alphaArg2[st]})
            if ((a & D3DTA_SELECTMASK) == D3DTA_SPECULAR) u.specular = true;
        if (d.hasTexture[st]) u.tex[d.texCoord[st] < 3 ? d.texCoord[st] : 0] = true;
    }
    return u;
}

// The fog factor of a distance `dist` (fog start, end and density in uFog),
// per vertex or per pixel as the fog kind asks.
const char* FogFormula(uint32_t mode) {
    switch (mode) {
        case D3DFOG_LINEAR:
            return "(uFog.y - dist) / (uFog.y - uFog.x)";
        case D3DFOG_EXP:
            return "exp(-dist * uFog.z)";
        case D3DFOG_EXP2:
            return "exp(-(dist * uFog.z) * (dist * uFog.z))";
        default:
            return "1.0";
    }
}

std::string VertexShader(const SGLShaderDesc& d) {
    SUses uses = Uses(d);
    bool rhw = (d.fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    bool normal = (d.fvf & D3DFVF_NORMAL) != 0;
    bool diffuse = (d.fvf & D3DFVF_DIFFUSE) != 0;
    bool specular = (d.fvf & D3DFVF_SPECULAR) != 0;
    uint32_t texSets = (d.fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    const char* q = d.flat ? "flat " : "";
    std::string s = "#version 330 core\n";
    s += rhw ? "layout(location = 0) in vec4 aPos;\n" : "layout(location = 0) in vec3 aPos;\n";
    if (normal) s += "layout(location = 1) in vec3 aNormal;\n";
    if (diffuse) s += "layout(location = 2) in vec4 aDiffuse;\n";
    if (specular) s += "layout(location = 3) in vec4 aSpecular;\n";
    for (uint32_t t = 0; t < texSets && t < 3; ++t)
        s += "layout(location = " + std::to_string(4 + t) + ") in vec2 aTex" + std::to_string(t) + ";\n";
    s += "uniform mat4 uWorldView;\nuniform mat3 uNormalMatrix;\nuniform mat4 uClip;\nuniform vec2 "
         "uScreen;\n"
         "uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;\nuniform float uMatPower;\n"
         "uniform vec4 uAmbient;\nuniform vec3 uLightPos[8];\nuniform vec3 uLightDir[8];\n"
         "uniform vec4 uLightDiffuse[8];\nuniform vec4 uLightSpecular[8];\nuniform vec4 uLightAmbient[8];\n"
         "uniform vec4 uLightAtten[8];\nuniform vec4 uLightSpot[8];\nuniform vec4 uFog;\n";
    s += std::string(q) + "out vec4 vDiffuse;\n";
    if (uses.specular)
        s += std::string(q) + "out vec4 vSpecular;\n";
    else
        s += "vec4 vSpecular;\n";
    for (int t = 0; t < 3; ++t)
        if (uses.tex[t]) s += "out vec2 vTex" + std::to_string(t) + ";\n";
    if (d.fogKind)
        s += "out float vFog;\n";
    else
        s += "float vFog;\n";
    s += std::string("float FogFactor(float dist) {\n  return ") + FogFormula(d.fogMode) +
         ";\n}\nvoid main() {\n";
    s += diffuse ? "  vec4 inDiffuse = aDiffuse;\n" : "  vec4 inDiffuse = vec4(1.0);\n";
    s += specular ? "  vec4 inSpecular = aSpecular;\n" : "  vec4 inSpecular = vec4(0.0);\n";
    for (uint32_t t = 0; t < 3; ++t)
        if (uses.tex[t])
            s += "  vTex" + std::to_string(t) + " = " +
                 (t < texSets ? "aTex" + std::to_string(t) : "vec2(0.0)") + ";\n";
    if (rhw) {
        s += "  float w = aPos.w != 0.0 ? 1.0 / aPos.w : 1.0;\n"
             "  vec2 ndc = (aPos.xy + 0.5) / uScreen * 2.0 - 1.0;\n"
             "  gl_Position = vec4(ndc * w, (aPos.z * 2.0 - 1.0) * w, w);\n"
             "  float eyeDist = w;\n  float rangeDist = w;\n";
        s += "  vDiffuse = inDiffuse;\n  vSpecular = inSpecular;\n";
    } else {
        // One matrix per draw takes the vertex to clip space (world, view,
        // projection, GL's depth range and the pixel-centre offset folded in
        // by the device); the view-space position is made only for what
        // needs it, the lighting and the fog.
        s += "  gl_Position = uClip * vec4(aPos, 1.0);\n";
        bool localLights = d.specularEnable;
        for (uint32_t i = 0; i < d.lightCount; ++i)
            localLights = localLights || d.lightTypes[i] != D3DLIGHT_DIRECTIONAL;
        if ((d.lighting && localLights) || d.fogKind == 1 || d.fogKind == 2)
            s += "  vec4 viewPos = uWorldView * vec4(aPos, 1.0);\n"
                 "  float eyeDist = viewPos.z;\n  float rangeDist = length(viewPos.xyz);\n";
        if (d.lighting) {
            auto src = [&](uint32_t source, const char* material) -> std::string {
                if (source == D3DMCS_COLOR1 && diffuse) return "inDiffuse";
                if (source == D3DMCS_COLOR2 && specular) return "inSpecular";
                return material;
            };
            s += "  vec4 md = " + src(d.diffuseSource, "uMatDiffuse") + ";\n";
            s += "  vec4 ms = " + src(d.specularSource, "uMatSpecular") + ";\n";
            s += "  vec4 ma = " + src(d.ambientSource, "uMatAmbient") + ";\n";
            s += "  vec4 me = " + src(d.emissiveSource, "uMatEmissive") + ";\n";
            s += normal ? "  vec3 n = uNormalMatrix * aNormal;\n" : "  vec3 n = vec3(0.0);\n";
            if (d.specularEnable) s += "  vec3 toEye = normalize(-viewPos.xyz);\n";
            s += "  vec3 amb = uAmbient.rgb;\n  vec3 dif = vec3(0.0);\n  vec3 spe = vec3(0.0);\n";
            for (uint32_t i = 0; i < d.lightCount; ++i) {
                std::string I = std::to_string(i);
                s += "  {\n    vec3 L; float att = 1.0;\n";
                if (d.lightTypes[i] == D3DLIGHT_DIRECTIONAL) {
                    s += "    L = -uLightDir[" + I + "];\n";
                } else {
                    s += "    vec3 toLight = uLightPos[" + I +
                         "] - viewPos.xyz;\n"
                         "    float dist = length(toLight);\n"
                         "    L = toLight / max(dist, 1e-20);\n"
                         "    vec4 at = uLightAtten[" +
                         I +
                         "];\n"
                         "    float den = at.x + at.y * dist + at.z * dist * dist;\n"
                         "    att = dist > at.w ? 0.0 : (den > 0.0 ? 1.0 / den : 1.0);\n";
                    if (d.lightTypes[i] == D3DLIGHT_SPOT) {
                        s += "    vec4 sp = uLightSpot[" + I +
                             "];\n"
                             "    float rho = dot(uLightDir[" +
                             I +
                             "], -L);\n"
                             "    float spot = rho > sp.x ? 1.0 : (rho <= sp.y ? 0.0 :\n"
                             "        pow(max((rho - sp.y) / max(sp.x - sp.y, 1e-20), 0.0), sp.z));\n"
                             "    att *= spot;\n";
                    }
                }
                s += "    float nl = max(dot(n, L), 0.0);\n"
                     "    amb += att * uLightAmbient[" +
                     I +
                     "].rgb;\n"
                     "    dif += att * nl * uLightDiffuse[" +
                     I + "].rgb;\n";
                // Specular highlights are lit only while specular is enabled.
                if (d.specularEnable)
                    s += "    if (nl > 0.0 && uMatPower > 0.0) {\n"
                         "      float nh = max(dot(n, normalize(toEye + L)), 0.0);\n"
                         "      spe += att * pow(nh, uMatPower) * uLightSpecular[" +
                         I +
                         "].rgb;\n"
                         "    }\n";
                s += "  }\n";
            }
            s += "  vDiffuse = vec4(clamp(me.rgb + amb * ma.rgb + dif * md.rgb, 0.0, 1.0), clamp(md.a, 0.0, "
                 "1.0));\n"
                 "  vSpecular = vec4(clamp(spe * ms.rgb, 0.0, 1.0), inSpecular.a);\n";
        } else {
            s += "  vDiffuse = inDiffuse;\n  vSpecular = inSpecular;\n";
        }
    }
    switch (d.fogKind) {
        case 1:
            s += "  vFog = eyeDist;\n";
            break;
        case 2:
            s += std::string("  vFog = FogFactor(") + (d.rangeFog ? "rangeDist" : "eyeDist") + ");\n";
            break;
        case 3:
            s += "  vFog = inSpecular.a;\n";
            break;
        default:
            s += "  vFog = 1.0;\n";
            break;
    }
    s += "}\n";
    return s;
}

std::string FragmentShader(const SGLShaderDesc& d) {
    SUses uses = Uses(d);
    const char* q = d.flat ? "flat " : "";
    std::string s = "#version 330 core\n";
    s += std::string(q) + "in vec4 vDiffuse;\n";
    if (uses.specular) s += std::string(q) + "in vec4 vSpecular;\n";
    for (int t = 0; t < 3; ++t)
        if (uses.tex[t]) s += "in vec2 vTex" + std::to_string(t) + ";\n";
    if (d.fogKind) s += "in float vFog;\n";
    s += "uniform sampler2D uTex0, uTex1, uTex2;\nuniform vec4 uTFactor;\nuniform vec4 uFogColor;\n"
         "uniform vec4 uFog;\nuniform float uAlphaRef;\nout vec4 fragColor;\n";
    s += "void main() {\n  vec4 cur = vDiffuse;\n";
    for (uint32_t st = 0; st < d.stages; ++st) {
        std::string S = std::to_string(st), tex = "t" + S;
        if (d.hasTexture[st])
            s += "  vec4 " + tex + " = texture(uTex" + S + ", vTex" +
                 std::to_string(d.texCoord[st] < 3 ? d.texCoord[st] : 0) + ");\n";
        else
            s += "  vec4 " + tex + " = vec4(1.0);\n";
        if (d.keyed[st]) s += "  if (" + tex + ".a < 0.5) discard;\n";
        std::string rgb =
            Op(d.colorOp[st], Arg(d.colorArg1[st], int(st)), Arg(d.colorArg2[st], int(st)), ".rgb", tex);
        std::string a = d.alphaOp[st] == D3DTOP_DISABLE ? std::string("cur.a")
                                                        : Op(d.alphaOp[st], Arg(d.alphaArg1[st], int(st)),
                                                             Arg(d.alphaArg2[st], int(st)), ".a", tex);
        s += "  cur = clamp(vec4(" + rgb + ", " + a + "), 0.0, 1.0);\n";
    }
    if (d.specularEnable) s += "  cur.rgb = clamp(cur.rgb + vSpecular.rgb, 0.0, 1.0);\n";
    if (d.fogKind) {
        if (d.fogKind == 1) {
            s += std::string("  float dist = vFog;\n  float f;\n  f = ") + FogFormula(d.fogMode) + ";\n";
        } else {
            s += "  float f = vFog;\n";
        }
        s += "  cur.rgb = mix(uFogColor.rgb, cur.rgb, clamp(f, 0.0, 1.0));\n";
    }
    if (d.alphaFunc != D3DCMP_ALWAYS) {
        s += "  float a = floor(cur.a * 255.0 + 0.5);\n  float r = uAlphaRef;\n";
        s += std::string("  if (!(") + Compare(d.alphaFunc) + ")) discard;\n";
    }
    s += "  fragColor = cur;\n}\n";
    return s;
}

GLuint Compile(GLenum type, const std::string& src) {
    // TESSARAK_GL_DUMP=1 prints every generated shader, for looking into a
    // picture that comes out wrong.
    static const bool dump = getenv("TESSARAK_GL_DUMP") != nullptr;
    if (dump) fprintf(stderr, "%s\n", src.c_str());
    GLuint sh = glCreateShader(type);
    const char* text = src.c_str();
    glShaderSource(sh, 1, &text, nullptr);
    glCompileShader(sh);
    GLint ok = 0;
    glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetShaderInfoLog(sh, sizeof log, nullptr, log);
        fprintf(stderr, "Tessarak: shader compile failed: %s\n%s\n", log, src.c_str());
        glDeleteShader(sh);
        return 0;
    }
    return sh;
}

}  // namespace

GLuint GL_LinkProgram(const std::string& vertex, const std::string& fragment) {
    GLuint vs = Compile(GL_VERTEX_SHADER, vertex);
    GLuint fs = Compile(GL_FRAGMENT_SHADER, fragment);
    if (!vs || !fs) {
        if (vs) glDeleteShader(vs);
        if (fs) glDeleteShader(fs);
        return 0;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048];
        glGetProgramInfoLog(p, sizeof log, nullptr, log);
        fprintf(stderr, "Tessarak: shader link failed: %s\n", log);
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

bool GL_BuildProgram(const SGLShaderDesc& desc, SGLProgram* out) {
    const GLuint p = GL_LinkProgram(VertexShader(desc), FragmentShader(desc));
    if (!p) return false;
    out->program = p;
    auto loc = [&](const char* n) { return glGetUniformLocation(p, n); };
    out->uWorldView = loc("uWorldView");
    out->uNormalMatrix = loc("uNormalMatrix");
    out->uClip = loc("uClip");
    out->uScreen = loc("uScreen");
    out->uMatDiffuse = loc("uMatDiffuse");
    out->uMatAmbient = loc("uMatAmbient");
    out->uMatSpecular = loc("uMatSpecular");
    out->uMatEmissive = loc("uMatEmissive");
    out->uMatPower = loc("uMatPower");
    out->uAmbient = loc("uAmbient");
    out->uLightPos = loc("uLightPos");
    out->uLightDir = loc("uLightDir");
    out->uLightDiffuse = loc("uLightDiffuse");
    out->uLightSpecular = loc("uLightSpecular");
    out->uLightAmbient = loc("uLightAmbient");
    out->uLightAtten = loc("uLightAtten");
    out->uLightSpot = loc("uLightSpot");
    out->uFog = loc("uFog");
    out->uFogColor = loc("uFogColor");
    out->uTFactor = loc("uTFactor");
    out->uAlphaRef = loc("uAlphaRef");
    out->uTex[0] = loc("uTex0");
    out->uTex[1] = loc("uTex1");
    out->uTex[2] = loc("uTex2");
    glUseProgram(p);
    for (int i = 0; i < 3; ++i)
        if (out->uTex[i] >= 0) glUniform1i(out->uTex[i], i);
    return true;
}
