// TEMPORARY stand-ins for shader effects and render targets (see
// StubEffectTarget.h). Compiled only while the real ones are missing.
#include "Graphics/StubEffectTarget.h"

#include <GL/glew.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "Graphics/Window.h"

#if !__has_include("Graphics/Effect.h")
namespace {

const char* const kBaseVertex =
    "attribute vec3 coord3d; attribute vec4 color; attribute vec3 texcoord;\n"
    "attribute float rotation; attribute float tX; attribute float tY;\n"
    "uniform mat4 proj; uniform mat4 view; uniform float tZ;\n"
    "varying vec4 f_color; varying vec2 f_texture;\n"
    "void main(void) {\n"
    "  vec2 d = coord3d.xy - vec2(tX, tY);\n"
    "  float c = cos(rotation); float s = sin(rotation);\n"
    "  vec2 p = vec2(d.x * c - d.y * s, d.x * s + d.y * c) + vec2(tX, tY);\n"
    "  gl_Position = proj * view * vec4(p, 0.0, 1.0);\n"
    "  f_color = color / 255.0; f_texture = texcoord.xy;\n"
    "}\n";
const char* const kBaseFragment =
    "varying vec4 f_color; varying vec2 f_texture; uniform sampler2D texture;\n"
    "void main(void) {\n"
    "  vec4 t = texture2D(texture, f_texture);\n"
    "  gl_FragColor = f_color.a == 0.0 ? t : t * f_color;\n"
    "}\n";

GLuint Compile(GLenum stage, const std::string& source, const char* name) {
    GLuint shader = glCreateShader(stage);
    const char* text = source.c_str();
    GLint length = static_cast<GLint>(source.size());
    glShaderSource(shader, 1, &text, &length);
    glCompileShader(shader);
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::printf("Shader(%s) compile info:\n%s\n", name, log);
    return shader;
}

GLuint baseVertex = 0;
GLuint baseFragment = 0;

}  // namespace

Effect::Effect() {
    if (!baseVertex) baseVertex = Compile(GL_VERTEX_SHADER, kBaseVertex, "Basic Vertex Shader");
    if (!baseFragment) {
        baseFragment = Compile(GL_FRAGMENT_SHADER, kBaseFragment, "Basic Fragment Shader");
    }
    vertexShader = baseVertex;
    fragmentShader = baseFragment;
}

void EffectCompileShader(Effect* effect, const char* text, int stage, bool fromFile) {
    std::string source = text;
    if (fromFile) {
        std::ifstream file(text);
        std::stringstream content;
        content << file.rdbuf();
        source = content.str();
    }
    GLuint shader = Compile(stage == 1 ? GL_VERTEX_SHADER : GL_FRAGMENT_SHADER, source,
                            fromFile ? text : "Custom Shader");
    (stage == 1 ? effect->vertexShader : effect->fragmentShader) = shader;
}

void EffectLink(Effect* effect) {
    if (!effect->program) effect->program = glCreateProgram();
    glAttachShader(effect->program, effect->vertexShader);
    glAttachShader(effect->program, effect->fragmentShader);
    glLinkProgram(effect->program);
    effect->linked = true;
}

void EffectApply(Effect* effect) {
    if (effect->program) glUseProgram(effect->program);
}

void EffectDisableAttributes(Effect*) {}

void EffectReleaseBase() {
    baseVertex = baseFragment = 0;
}
#endif

#if !__has_include("Graphics/RenderTarget.h")
RenderTarget* SceneTarget = nullptr;
bool DrawingToWindow = false;

void RenderTarget::Create(int32_t w, int32_t h) {
    if (w == 0 && h == 0) return;
    Destroy();
    width = w;
    height = h;
    glGenRenderbuffers(1, &depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT, w, h);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glGenFramebuffers(1, &framebuffer);
    glGenTextures(1, &texture);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        std::printf("ASKLDM\n");
}

void RenderTarget::Destroy() {
    if (!HasGlContext()) return;
    if (framebuffer) glDeleteFramebuffers(1, &framebuffer);
    if (depthBuffer) glDeleteRenderbuffers(1, &depthBuffer);
    if (texture) glDeleteTextures(1, &texture);
    framebuffer = depthBuffer = texture = 0;
}

void BindRenderTarget(RenderTarget* t) {
    if (!t && !DrawingToWindow) t = SceneTarget;
    if (t) {
        glBindFramebuffer(GL_FRAMEBUFFER, t->framebuffer);
        glViewport(0, 0, t->width, t->height);
    } else {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, WindowWidth, WindowHeight);
    }
}
#endif
