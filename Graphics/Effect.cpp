#include "Graphics/Effect.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "Graphics/RenderTarget.h"
#include "Graphics/Window.h"
#include "System/Source/Components/LuaBinding.h"
#include "System/Source/ResourcePath.h"

uint32_t BaseVertexShader = 0;
uint32_t BaseFragmentShader = 0;
uint32_t (*EffectImageTexture)(const char* path) = nullptr;
ShaderCache* GlobalShaderCache = nullptr;

namespace {

const char* const kBaseVertexPath = "Resources/Shaders/base_vertex.vert";
const char* const kBaseFragmentPath = "Resources/Shaders/base_frag.frag";
const char* const kLevelVertexPath = "Resources/Shaders/level.vert";
const char* const kLevelFragmentPath = "Resources/Shaders/level.frag";
const char* const kGreyFragmentPath = "Resources/Shaders/grey.frag";

// Shader work needs a live context whose entry points are loaded.
bool ShadersReady() {
    return HasGlContext() && glCreateShaderObjectARB != nullptr;
}

bool HasText(const char* text) {
    return text && *text;
}

// The whole file, read line by line; a file that cannot be opened gives an
// empty source (and says so).
std::string ReadShaderFile(const char* path) {
    std::string source;
    std::FILE* file = System::OpenResource(path ? path : "", "r");
    if (!file) {
        std::printf("Shader file %s could not be opened\n", path ? path : "");
        return source;
    }
    char piece[256];
    while (std::fgets(piece, sizeof piece, file)) source += piece;
    std::fclose(file);
    return source;
}

GLhandleARB CompileSource(GLenum stage, const std::string& source) {
    GLhandleARB shader = glCreateShaderObjectARB(stage);
    const GLcharARB* text = source.c_str();
    GLint length = static_cast<GLint>(source.size());
    glShaderSourceARB(shader, 1, &text, &length);
    glCompileShaderARB(shader);
    return shader;
}

bool IsBaseShader(uint32_t shader) {
    return shader != 0 && (shader == BaseVertexShader || shader == BaseFragmentShader);
}

// Asks the program for a uniform, then for an attribute, of that name.
int32_t LookUpLocation(const Effect& effect, const char* name) {
    if (effect.program == 0 || !effect.linkOk || !ShadersReady()) return -1;
    GLint location = glGetUniformLocationARB(effect.program, name);
    if (location == -1) location = glGetAttribLocationARB(effect.program, name);
    return location;
}

int AttributeColumns(const EffectParameter& p) {
    return p.isMatrix ? 4 : 1;
}

}  // namespace

// ---------------------------------------------------------------------------
// EffectParameter

EffectParameter::EffectParameter() = default;

EffectParameter::EffectParameter(const char* parameterName)
    : name(System::MakeString(parameterName ? parameterName : "")) {}

void EffectParameter::Become(int32_t newKind) {
    if (kind != newKind) std::memset(&value, 0, sizeof value);
    kind = newKind;
}

void EffectParameter::SetInt(int32_t v) {
    Become(Int);
    value.i = v;
}

void EffectParameter::SetFloat(float v) {
    Become(Float);
    value.f = v;
}

void EffectParameter::SetMatrix(const float* m) {
    Become(Matrix);
    if (m) std::memcpy(value.floats, m, sizeof value.floats);
}

bool EffectParameter::SetArrayElement(unsigned index, float v) {
    if (index >= kArraySize) return false;
    Become(FloatArray);
    value.floats[index] = v;
    return true;
}

void EffectParameter::SetBool(bool v) {
    Become(Bool);
    value.b = v;
}

void EffectParameter::SetTexture(uint32_t textureId) {
    Become(Texture);
    value.texture = textureId;
}

void EffectParameter::SetTexture(const RenderTarget& target) {
    SetTexture(target.texture);
}

void EffectParameter::SetAttribute(int32_t componentCount, uint32_t componentType, bool normalize,
                                   int32_t byteStride, int32_t byteOffset, bool matrix) {
    Become(VertexAttribute);
    components = componentCount;
    type = componentType;
    normalized = normalize ? 1 : 0;
    stride = byteStride;
    offset = byteOffset;
    isMatrix = matrix;
}

void EffectParameter::SetTextureBuffer(uint32_t textureId, uint32_t bufferId) {
    Become(TextureBuffer);
    bufferTexture = textureId;
    buffer = bufferId;
}

namespace {

using System::GetArgument;
using System::MetaArgs;

MetaValue LuaSetFloat(EffectParameter& self, MetaArgs& args) {
    self.SetFloat(GetArgument(args, 0).ToFloat());
    return MetaValue::None();
}

MetaValue LuaSetArray(EffectParameter& self, MetaArgs& args) {
    // The index is truncated toward zero; anything outside 0..15 (NaN
    // included) changes nothing.
    double index = GetArgument(args, 0).ToDouble();
    if (index > -1.0 && index < double(EffectParameter::kArraySize)) {
        self.SetArrayElement(static_cast<unsigned>(index), GetArgument(args, 1).ToFloat());
    }
    return MetaValue::None();
}

MetaValue LuaSetTexture(EffectParameter& self, MetaArgs& args) {
    const char* path = GetArgument(args, 0).ToString();
    self.SetTexture(EffectImageTexture ? EffectImageTexture(path) : 0u);
    return MetaValue::None();
}

MetaValue LuaSetTarget(EffectParameter& self, MetaArgs& args) {
    PostProcess* pass = GetPostProcess(GetArgument(args, 0).ToInt());
    if (pass) self.SetTexture(*pass);
    return MetaValue::None();
}

MetaValue LuaSetInt(EffectParameter& self, MetaArgs& args) {
    self.SetInt(GetArgument(args, 0).ToInt());
    return MetaValue::None();
}

MetaValue LuaGetParameter(Effect& self, MetaArgs& args) {
    return MetaValue(EffectAddParameter(&self, GetArgument(args, 0).ToString()));
}

}  // namespace

void EffectParameter::RegisterMethods() {
    AddMethod("SetFloat", &System::Method<EffectParameter, &LuaSetFloat>);
    AddMethod("SetArray", &System::Method<EffectParameter, &LuaSetArray>);
    AddMethod("SetTexture", &System::Method<EffectParameter, &LuaSetTexture>);
    AddMethod("SetTarget", &System::Method<EffectParameter, &LuaSetTarget>);
    AddMethod("SetInt", &System::Method<EffectParameter, &LuaSetInt>);
}

int EffectParameter::LuaNew(lua_State* L) {
    return System::LuaNewDefault<EffectParameter>(L);
}

// ---------------------------------------------------------------------------
// Effect

Effect::Effect() {
    EffectLoadBase();
    vertexShader = BaseVertexShader;
    fragmentShader = BaseFragmentShader;
}

Effect::~Effect() {
    if (!ShadersReady()) return;
    if (program != 0) glDeleteObjectARB(program);
    if (vertexShader != 0 && !IsBaseShader(vertexShader)) glDeleteObjectARB(vertexShader);
    if (fragmentShader != 0 && !IsBaseShader(fragmentShader)) glDeleteObjectARB(fragmentShader);
}

void Effect::RegisterMethods() {
    AddMethod("GetParameter", &System::Method<Effect, &LuaGetParameter>);
}

int Effect::LuaNew(lua_State* L) {
    return System::LuaNewDefault<Effect>(L);
}

void EffectLoadBase() {
    if (BaseVertexShader != 0 && BaseFragmentShader != 0) return;
    if (!ShadersReady()) return;
    std::string vertexSource = ReadShaderFile(kBaseVertexPath);
    std::string fragmentSource = ReadShaderFile(kBaseFragmentPath);
    // A half-made pair from an earlier attempt is made again as a whole.
    if (BaseVertexShader != 0) glDeleteObjectARB(BaseVertexShader);
    if (BaseFragmentShader != 0) glDeleteObjectARB(BaseFragmentShader);
    BaseVertexShader = CompileSource(GL_VERTEX_SHADER_ARB, vertexSource);
    BaseFragmentShader = CompileSource(GL_FRAGMENT_SHADER_ARB, fragmentSource);
    std::printf("Shader(Basic Vertex Shader) compile info\n");
    PrintShaderLog(BaseVertexShader);
    std::printf("Shader(Basic Fragment Shader) compile info:\n");
    PrintShaderLog(BaseFragmentShader);
}

void EffectReleaseBase() {
    if (ShadersReady()) {
        if (BaseVertexShader != 0) glDeleteObjectARB(BaseVertexShader);
        if (BaseFragmentShader != 0) glDeleteObjectARB(BaseFragmentShader);
    }
    BaseVertexShader = 0;
    BaseFragmentShader = 0;
}

void EffectCompileShader(Effect* effect, const char* text, int stage, bool fromFile) {
    if (!effect || !ShadersReady()) return;
    std::string source = fromFile ? ReadShaderFile(text) : std::string(text ? text : "");
    GLhandleARB shader = CompileSource(
        stage == kVertexStage ? GL_VERTEX_SHADER_ARB : GL_FRAGMENT_SHADER_ARB, source);
    uint32_t& slot = stage == kVertexStage ? effect->vertexShader : effect->fragmentShader;
    // A shader of the effect's own that is replaced is released; GL keeps it
    // while a program still holds it.
    if (slot != 0 && !IsBaseShader(slot)) glDeleteObjectARB(slot);
    slot = shader;
    std::printf("Shader(%s) compile info:\n", fromFile ? (text ? text : "") : "Custom Shader");
    PrintShaderLog(shader);
}

void EffectLink(Effect* effect) {
    if (!effect || !ShadersReady()) return;
    if (effect->program == 0) effect->program = glCreateProgramObjectARB();
    GLhandleARB program = effect->program;
    // Only the effect's current two shaders take part: whatever an earlier
    // link attached is taken off first.
    GLhandleARB attached[8];
    GLsizei count = 0;
    glGetAttachedObjectsARB(program, 8, &count, attached);
    for (GLsizei i = 0; i < count; ++i) glDetachObjectARB(program, attached[i]);
    if (effect->vertexShader != 0) glAttachObjectARB(program, effect->vertexShader);
    if (effect->fragmentShader != 0) glAttachObjectARB(program, effect->fragmentShader);
    // The renderer's position attribute takes location 0: the compatibility
    // profile draws arrays only while location 0 is enabled, and the
    // position always is.
    glBindAttribLocationARB(program, 0, "coord3d");
    glLinkProgramARB(program);
    GLint status = 0;
    glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &status);
    effect->linked = true;
    effect->linkOk = status != 0;
    if (!effect->linkOk) {
        std::printf("Shader program failed to link:\n");
        PrintShaderLog(program);
    }
}

EffectParameter* EffectAddParameter(Effect* effect, const char* name) {
    if (!effect) return nullptr;
    if (!name) name = "";
    size_t length = std::strlen(name);
    for (EffectParameter& p : effect->parameters) {
        if (p.name.size() == length && std::memcmp(p.name.data(), name, length) == 0) return &p;
    }
    EffectParameter& added = effect->parameters.emplace_back(name);
    added.location = LookUpLocation(*effect, name);
    return &added;
}

void EffectApply(Effect* effect) {
    if (!effect || effect->program == 0 || !ShadersReady()) return;
    if (!effect->linkOk) {
        glUseProgramObjectARB(0);
        return;
    }
    glUseProgramObjectARB(effect->program);
    GLint unit = 1;  // unit 0 stays the renderer's own texture
    for (const EffectParameter& p : effect->parameters) {
        GLint location = p.location;
        if (location == -1) continue;
        switch (p.kind) {
            case EffectParameter::Int:
                glUniform1iARB(location, p.value.i);
                break;
            case EffectParameter::Float:
                glUniform1fARB(location, p.value.f);
                break;
            case EffectParameter::Matrix:
                glUniformMatrix4fvARB(location, 1, GL_FALSE, p.value.floats);
                break;
            case EffectParameter::FloatArray:
                glUniform1fvARB(location, EffectParameter::kArraySize, p.value.floats);
                break;
            case EffectParameter::Bool:
                glUniform1iARB(location, p.value.b ? 1 : 0);
                break;
            case EffectParameter::Texture:
                glUniform1iARB(location, unit);
                glActiveTexture(GL_TEXTURE0 + unit);
                glBindTexture(GL_TEXTURE_2D, p.value.texture);
                ++unit;
                break;
            case EffectParameter::VertexAttribute: {
                int columns = AttributeColumns(p);
                for (int c = 0; c < columns; ++c) {
                    GLuint index = static_cast<GLuint>(location + c);
                    uintptr_t start = static_cast<uintptr_t>(p.offset + c * 4 * columns);
                    glEnableVertexAttribArray(index);
                    glVertexAttribPointer(index, p.components, p.type,
                                          p.normalized ? GL_TRUE : GL_FALSE, p.stride,
                                          reinterpret_cast<const void*>(start));
                }
                break;
            }
            case EffectParameter::TextureBuffer:
                glActiveTexture(GL_TEXTURE0 + unit);
                if (glTexBuffer) {
                    glBindTexture(GL_TEXTURE_BUFFER, p.bufferTexture);
                    glTexBuffer(GL_TEXTURE_BUFFER, GL_RGBA32F, p.buffer);
                }
                glUniform1iARB(location, unit);
                ++unit;
                break;
            default:
                break;  // no value yet
        }
    }
    glActiveTexture(GL_TEXTURE0);
}

void EffectDisableAttributes(Effect* effect) {
    if (!effect || !ShadersReady()) return;
    for (const EffectParameter& p : effect->parameters) {
        if (p.kind != EffectParameter::VertexAttribute || p.location == -1) continue;
        // Every column of a matrix attribute was enabled, so every one is
        // disabled again.
        int columns = AttributeColumns(p);
        for (int c = 0; c < columns; ++c) glDisableVertexAttribArray(GLuint(p.location + c));
    }
}

void PrintShaderLog(uint32_t object) {
    char log[1024] = {0};
    GLsizei length = 0;
    if (object != 0 && ShadersReady()) glGetInfoLogARB(object, sizeof log, &length, log);
    log[sizeof log - 1] = '\0';
    std::printf("%s\n", log);
}

// ---------------------------------------------------------------------------
// ShaderCache

ShaderCache::~ShaderCache() {
    for (auto& entry : effects_) delete entry.second;
}

void ShaderCache::Add(const char* name, const char* vertexPath, const char* fragmentPath) {
    if (!name) name = "";
    if (effects_.find(name) != effects_.end()) return;
    Effect* effect = new Effect();
    if (!effect) return;
    if (HasText(vertexPath)) EffectCompileShader(effect, vertexPath, kVertexStage, true);
    if (HasText(fragmentPath)) EffectCompileShader(effect, fragmentPath, kFragmentStage, true);
    EffectLink(effect);
    effects_.emplace(System::MakeString(name), effect);
}

Effect* ShaderCache::Find(const char* name) const {
    if (!name) return nullptr;
    auto it = effects_.find(name);
    return it == effects_.end() ? nullptr : it->second;
}

void AddStartupShaders(ShaderCache& cache) {
    cache.Add("BaseLevel", kLevelVertexPath, kLevelFragmentPath);
    cache.Add("Grey", nullptr, kGreyFragmentPath);
    cache.Add("GreyLevel", kLevelVertexPath, kGreyFragmentPath);
    cache.Add("Other", nullptr, kBaseFragmentPath);
}
