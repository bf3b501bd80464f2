// Shader effects: a GLSL program with its named inputs (EffectParameter),
// the base shaders every effect starts from, and the ShaderCache that keeps
// effects by name so levels, components and scripts share them.
#pragma once

#include <cstdint>

#include "System/Source/Components/Meta.h"

struct lua_State;
class RenderTarget;

// One named input of an effect: a uniform or a vertex attribute with its
// location in the program and a tagged value that EffectApply uploads.
class EffectParameter : public System::MetaData<EffectParameter> {
public:
    // What the value holds; None until a setter gives the parameter a kind.
    enum Kind : int32_t {
        None = -1,
        Int = 0,
        Float = 1,
        Matrix = 2,
        FloatArray = 3,
        Bool = 4,
        Texture = 5,
        VertexAttribute = 6,
        TextureBuffer = 7,
    };
    static constexpr unsigned kArraySize = 16;

    union Value {
        float floats[kArraySize];
        int32_t i;
        float f;
        bool b;
        uint32_t texture;
    };
    static_assert(sizeof(Value) == 64, "a parameter's value is 64 bytes");

    EffectParameter();
    explicit EffectParameter(const char* parameterName);
    ~EffectParameter() override = default;

    void SetInt(int32_t v);
    void SetFloat(float v);
    // Sixteen floats, column by column.
    void SetMatrix(const float* m);
    // Element `index` of the float array; an index of 16 or more changes
    // nothing (returns false).
    bool SetArrayElement(unsigned index, float v);
    void SetBool(bool v);
    // A texture the parameter does not own.
    void SetTexture(uint32_t textureId);
    void SetTexture(const RenderTarget& target);
    // A vertex-attribute layout; a matrix attribute takes four locations.
    void SetAttribute(int32_t componentCount, uint32_t componentType, bool normalize,
                      int32_t byteStride, int32_t byteOffset, bool matrix = false);
    void SetTextureBuffer(uint32_t textureId, uint32_t bufferId);

    // Lua: "SetFloat", "SetArray", "SetTexture", "SetTarget", "SetInt".
    static void RegisterMethods();
    // Lua "new": a parameter that belongs to no effect.
    static int LuaNew(lua_State* L);

    System::String name;
    int32_t components = 0;
    uint32_t type = 0;
    int32_t normalized = 0;
    int32_t stride = 0;
    int32_t offset = 0;
    bool isMatrix = false;
    uint32_t bufferTexture = 0;
    uint32_t buffer = 0;
    int32_t location = -1;  // -1: not in the program; EffectApply skips it
    int32_t kind = None;
    Value value{};

private:
    // Switches to `newKind`; the value is cleared when the kind changes, so
    // nothing of an earlier kind leaks into the new one.
    void Become(int32_t newKind);
};

// A GLSL program with its parameters, in the order they were first asked
// for. Parameters never move once added.
class Effect : public System::MetaData<Effect> {
public:
    // Starts from the base shaders (compiled on first need); no program yet.
    Effect();
    // Deletes the program and the shaders of the effect's own while the GL
    // context exists (the base shaders are shared and stay).
    ~Effect() override;

    // Lua: "GetParameter".
    static void RegisterMethods();
    // Lua "new": an empty effect with no program.
    static int LuaNew(lua_State* L);

    System::List<EffectParameter> parameters;
    uint32_t vertexShader = 0;
    uint32_t fragmentShader = 0;
    uint32_t program = 0;
    bool linked = false;
    // Whether the last link succeeded; an effect whose program failed to
    // link applies as "no program".
    bool linkOk = false;
};

// Stages of EffectCompileShader.
constexpr int kFragmentStage = 0;
constexpr int kVertexStage = 1;

// The base shaders, shared by every effect that does not replace them.
extern uint32_t BaseVertexShader;
extern uint32_t BaseFragmentShader;

// Compiles the base shaders when either is still 0 (needs a GL context).
void EffectLoadBase();
// Forgets the base shaders (deleting them while the context still exists);
// for when the context that holds them goes away.
void EffectReleaseBase();

// Replaces the effect's shader of `stage` (kVertexStage or kFragmentStage)
// by one compiled from `text`: a file path when `fromFile`, else the source.
// Prints the compile log.
void EffectCompileShader(Effect* effect, const char* text, int stage, bool fromFile);
// Makes the program when needed, attaches the two shaders and links.
void EffectLink(Effect* effect);
// The parameter of that name, added (and its location looked up) when
// missing. Null only for a null effect.
EffectParameter* EffectAddParameter(Effect* effect, const char* name);
// Makes the program current and uploads every parameter that has a kind
// and a location; textures take units 1, 2, ... in list order.
void EffectApply(Effect* effect);
// Disables the vertex attributes that EffectApply enabled.
void EffectDisableAttributes(Effect* effect);
// Prints the info log of a shader or program object and a line break.
void PrintShaderLog(uint32_t object);

// Where "SetTexture" of a parameter finds an image's texture by file name:
// the texture atlas once it exists. While null, images give texture 0.
extern uint32_t (*EffectImageTexture)(const char* path);

// Effects by name; the first program made under a name stays.
class ShaderCache : public System::PoolObject {
public:
    ShaderCache() = default;
    ~ShaderCache();
    ShaderCache(const ShaderCache&) = delete;
    ShaderCache& operator=(const ShaderCache&) = delete;

    // Builds a program from the given files (null or "" = keep that stage's
    // base shader) unless the name is already taken.
    void Add(const char* name, const char* vertexPath, const char* fragmentPath);
    Effect* Find(const char* name) const;
    size_t Size() const { return effects_.size(); }

private:
    System::Map<System::String, Effect*, std::less<>> effects_;
};

// The one shader cache; made by the graphics start-up.
extern ShaderCache* GlobalShaderCache;

// The named programs of the start-up: "BaseLevel", "Grey", "GreyLevel" and
// "Other".
void AddStartupShaders(ShaderCache& cache);
