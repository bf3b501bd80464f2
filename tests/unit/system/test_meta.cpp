#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "System/Source/Components/Meta.h"
#include "System/Source/MemoryPool.h"
#include "support/TestSupport.h"

using System::GetArgument;
using System::MetaArgs;
using System::MetaBase;
using System::MetaData;
using Ownership = System::MetaBase::Ownership;

// Small reflected classes of the tests' own: a three-level chain, an
// unrelated class, and one whose reflection part is not its first base.
namespace metatest {

struct Grand : MetaData<Grand> {
    Grand() { AddProperty("sides", MetaValue(&sides)); }
    static void RegisterMethods();
    static int registrations;
    int sides = 3;
    float area = 1.5f;
};
struct Parent : Grand {
    static void RegisterMethods();
    static int registrations;
};
struct Child : Parent {
    static void RegisterMethods();
    static int registrations;
};
struct Other : MetaData<Other> {};
struct Noise {
    virtual ~Noise() = default;
    long filler = 7;
};
struct Offset : Noise, MetaData<Offset> {};

}  // namespace metatest

TAZZLE_CLASS_NAME(metatest::Grand, "class metatest::Grand");
TAZZLE_CLASS_NAME(metatest::Parent, "class metatest::Parent");
TAZZLE_CLASS_NAME(metatest::Child, "class metatest::Child");
TAZZLE_CLASS_NAME(metatest::Other, "class metatest::Other");
TAZZLE_CLASS_NAME(metatest::Offset, "class metatest::Offset");

namespace metatest {

int Grand::registrations = 0;
int Parent::registrations = 0;
int Child::registrations = 0;

MetaValue Answer(int n) {
    return MetaValue(n);
}
MetaValue GrandName(Grand&, MetaArgs&) {
    return Answer(1);
}
MetaValue GrandOnly(Grand&, MetaArgs&) {
    return Answer(10);
}
MetaValue ParentName(Grand&, MetaArgs&) {
    return Answer(2);
}
MetaValue ChildName(Grand&, MetaArgs&) {
    return Answer(3);
}
MetaValue Sides(Grand& self, MetaArgs&) {
    return MetaValue(self.sides);
}
MetaValue FirstTwice(MetaBase*, MetaArgs&) {
    return Answer(100);
}
MetaValue SecondTwice(MetaBase*, MetaArgs&) {
    return Answer(200);
}

void Grand::RegisterMethods() {
    ++registrations;
    MetaData<Grand>::AddMethod("Name", &System::Method<Grand, &GrandName>);
    MetaData<Grand>::AddMethod("GrandOnly", &System::Method<Grand, &GrandOnly>);
}
void Parent::RegisterMethods() {
    ++registrations;
    MetaData<Parent>::SetParent<Grand>();
    MetaData<Parent>::AddMethod("Name", &System::Method<Grand, &ParentName>);
}
void Child::RegisterMethods() {
    ++registrations;
    MetaData<Child>::SetParent<Parent>();
    MetaData<Child>::AddMethod("Name", &System::Method<Grand, &ChildName>);
}

int CallMethod(const MetaBase& meta, const char* name, MetaBase* self) {
    MetaArgs args;
    return meta.Methods().at(System::MakeString(name))(self, args).ToInt();
}

}  // namespace metatest

using namespace metatest;

TEST(MetaValueForms, CarryTheTypeNamesOfWhatTheyHold) {
    MetaValue number(2.5);
    EXPECT_STREQ(number.typeName, "double");
    EXPECT_STREQ(number.referredName, "double");
    EXPECT_TRUE(number.IsType<double>());
    EXPECT_FALSE(number.IsType<int>());

    MetaValue text("abc");
    EXPECT_STREQ(text.typeName, "char const *");
    EXPECT_STREQ(text.referredName, "char");
    EXPECT_TRUE(text.IsType<const char*>());
    EXPECT_FALSE(text.IsType<char*>());

    float field = 0.0f;
    MetaValue reference(&field);
    EXPECT_STREQ(reference.typeName, "float *");
    EXPECT_STREQ(reference.referredName, "float");
    EXPECT_EQ(reference.Get<float*>(), &field);

    Grand grand;
    MetaValue object(&grand);
    EXPECT_STREQ(object.typeName, "class metatest::Grand *");
    EXPECT_STREQ(object.referredName, "class metatest::Grand");

    // "No value" is a null first name, and no test matches it.
    MetaValue none = MetaValue::None();
    EXPECT_FALSE(none.HasValue());
    EXPECT_FALSE(none.IsType<double>());
    EXPECT_FALSE(none.IsType<char*>());
    EXPECT_EQ(none.payload.bits, 0u);
    // A 32-bit payload leaves the rest of the 8 bytes defined.
    EXPECT_EQ(MetaValue(-1).payload.bits, 0xFFFFFFFFu);
    EXPECT_EQ(MetaValue(1.0f).payload.bits >> 32, 0u);
}

TEST(MetaValueReads, FollowTheConversionTable) {
    EXPECT_EQ(MetaValue(2.9).ToInt(), 2);
    EXPECT_EQ(MetaValue(-2.9).ToInt(), -2);
    EXPECT_FALSE(MetaValue(0.99).ToBool());
    EXPECT_FALSE(MetaValue(-0.99).ToBool());
    EXPECT_TRUE(MetaValue(1.0).ToBool());
    EXPECT_TRUE(MetaValue(-1.0).ToBool());
    EXPECT_EQ(MetaValue(300.0).ToChar(), 44);
    EXPECT_EQ(static_cast<unsigned char>(MetaValue(-1.0).ToChar()), 0xFFu);
    EXPECT_EQ(static_cast<unsigned char>(MetaValue(-2.9).ToChar()), 0xFEu);
    EXPECT_EQ(MetaValue(0.1).ToFloat(), 0.1f);
    EXPECT_EQ(MetaValue(2.9).ToDouble(), 2.9);

    // Other number forms read the same way.
    EXPECT_EQ(MetaValue(7).ToDouble(), 7.0);
    EXPECT_EQ(MetaValue(300).ToChar(), 44);
    EXPECT_EQ(MetaValue(-3.75f).ToInt(), -3);
    EXPECT_EQ(MetaValue(-3.75f).ToDouble(), -3.75);
    EXPECT_EQ(MetaValue(true).ToInt(), 1);
    EXPECT_EQ(MetaValue(false).ToDouble(), 0.0);
}

TEST(MetaValueReads, WrongTypesGiveNeutralValues) {
    MetaValue text("12.5");
    EXPECT_EQ(text.ToDouble(), 0.0);
    EXPECT_EQ(text.ToInt(), 0);
    EXPECT_FALSE(text.ToBool());
    EXPECT_EQ(text.ToChar(), 0);
    EXPECT_EQ(text.ToFloat(), 0.0f);
    EXPECT_STREQ(text.ToString(), "12.5");
    EXPECT_EQ(text.ToObject<Grand>(), nullptr);

    // Every Lua number arrives as a double, which reads as its text; the
    // engine's other numbers do not.
    MetaValue number(42.0);
    ASSERT_NE(number.ToString(), nullptr);
    EXPECT_STREQ(number.ToString(), "42");
    EXPECT_STREQ(MetaValue(42).ToString(), "");
    EXPECT_STREQ(MetaValue(true).ToString(), "");
    EXPECT_EQ(number.ToObject<Grand>(), nullptr);

    // A reference is not a number, and a null text reads as "".
    int field = 5;
    EXPECT_EQ(MetaValue(&field).ToInt(), 0);
    EXPECT_STREQ(MetaValue(static_cast<const char*>(nullptr)).ToString(), "");

    for (const MetaValue& v : {MetaValue::None(), MetaValue::BadSelf()}) {
        EXPECT_EQ(v.ToDouble(), 0.0);
        EXPECT_EQ(v.ToInt(), 0);
        EXPECT_STREQ(v.ToString(), "");
        EXPECT_EQ(v.ToObject<Grand>(), nullptr);
    }
}

TEST(MetaValueReads, NonFiniteAndHugeNumbersStayDefined) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(MetaValue(nan).ToInt(), 0);
    EXPECT_FALSE(MetaValue(nan).ToBool());
    EXPECT_EQ(MetaValue(nan).ToChar(), 0);
    EXPECT_TRUE(std::isnan(MetaValue(nan).ToFloat()));
    EXPECT_EQ(MetaValue(inf).ToInt(), INT_MAX);
    EXPECT_EQ(MetaValue(-inf).ToInt(), INT_MIN);
    EXPECT_EQ(MetaValue(1e300).ToInt(), INT_MAX);
    EXPECT_EQ(MetaValue(-1e300).ToInt(), INT_MIN);
    EXPECT_TRUE(MetaValue(1e300).ToBool());
    EXPECT_EQ(static_cast<unsigned char>(MetaValue(1e300).ToChar()), 0xFFu);
    EXPECT_EQ(MetaValue(2147483647.9).ToInt(), INT_MAX);
    EXPECT_EQ(MetaValue(2147483648.0).ToInt(), INT_MAX);
    EXPECT_EQ(MetaValue(-2147483648.9).ToInt(), INT_MIN);
    EXPECT_EQ(MetaValue(1e300).ToFloat(), FLT_MAX);
    EXPECT_EQ(MetaValue(-1e300).ToFloat(), -FLT_MAX);
    EXPECT_EQ(MetaValue(inf).ToFloat(), std::numeric_limits<float>::infinity());
}

TEST(MetaArguments, MissingArgumentsAreTheNilValue) {
    const MetaValue& nil = System::NilValue();
    EXPECT_STREQ(nil.typeName, "char *");
    EXPECT_STREQ(nil.referredName, "char");
    EXPECT_TRUE(nil.IsType<char*>());
    ASSERT_NE(nil.Get<char*>(), nullptr);
    EXPECT_EQ(nil.Get<char*>()[0], '\0');
    EXPECT_STREQ(nil.ToString(), "");
    EXPECT_EQ(nil.ToDouble(), 0.0);

    MetaArgs empty;
    EXPECT_EQ(&GetArgument(empty, 0), &nil);
    EXPECT_EQ(&GetArgument(empty, 5), &nil);

    MetaArgs two;
    two.push_back(MetaValue(1.0));
    two.push_back(MetaValue("second"));
    EXPECT_EQ(&GetArgument(two, 1), &two[1]);
    EXPECT_STREQ(GetArgument(two, 1).ToString(), "second");
    EXPECT_EQ(&GetArgument(two, 2), &nil);
    EXPECT_EQ(&GetArgument(two, UINT_MAX), &nil);
    EXPECT_STREQ(GetArgument(two, 7).ToString(), "");
}

TEST(MetaArguments, ListsKeepTheirValuesThroughGrowthCopiesAndMoves) {
    for (bool pool : {false, true}) {
        SCOPED_TRACE(pool);
        if (pool) System::CreateEnginePool(1 << 20);
        MetaArgs inlineOnly;
        MetaArgs grown;
        for (int i = 0; i < 3; ++i) inlineOnly.push_back(MetaValue(double(i)));
        for (int i = 0; i < 20; ++i) grown.emplace_back(double(i));
        auto values = [](const MetaArgs& args) {
            std::vector<double> out;
            for (const MetaValue& v : args) out.push_back(v.ToDouble());
            return out;
        };
        const std::vector<double> three = values(inlineOnly), twenty = values(grown);
        ASSERT_EQ(twenty.size(), 20u);
        EXPECT_EQ(twenty.back(), 19.0);

        MetaArgs copy(grown);
        MetaArgs assigned;
        assigned = inlineOnly;
        assigned = grown;
        EXPECT_EQ(values(copy), twenty);
        EXPECT_EQ(values(assigned), twenty);
        MetaArgs movedInline(std::move(inlineOnly));
        MetaArgs movedGrown(std::move(grown));
        EXPECT_EQ(values(movedInline), three);
        EXPECT_EQ(values(movedGrown), twenty);
        EXPECT_TRUE(inlineOnly.empty() && grown.empty());
        movedInline = std::move(movedGrown);
        EXPECT_EQ(values(movedInline), twenty);
        // A moved-from list is usable again.
        grown.push_back(MetaValue(7.0));
        EXPECT_EQ(values(grown), std::vector<double>{7.0});
        copy.clear();
        EXPECT_EQ(&GetArgument(copy, 0), &System::NilValue());
        if (pool) {
            // Every block goes back when the lists end.
            movedInline = MetaArgs();
            assigned = MetaArgs();
            copy = MetaArgs();
            EXPECT_EQ(System::GetEnginePool()->alive, 0u);
            System::ShutdownEnginePool();
        }
    }
}

TEST(MetaArguments, TypeNamesFromElsewhereCompareAsText) {
    // Names that are not the table's own strings (a copy, as a loaded
    // plugin or saved data would hold) still match by their text.
    static const char copied[] = "double";
    MetaValue v = MetaValue::Pointer(nullptr, copied, copied);
    v.payload.d = 2.5;
    EXPECT_TRUE(v.IsType<double>());
    EXPECT_FALSE(v.IsType<float>());
    EXPECT_EQ(v.ToDouble(), 2.5);
    EXPECT_EQ(v.ToInt(), 2);
}

TEST(MetaArguments, PrintArgumentsListsTheTypeNames) {
    MetaArgs args;
    EXPECT_EQ(TestSupport::CaptureStdout([&] { System::PrintArguments(args); }), "");
    args.push_back(MetaValue(4.0));
    EXPECT_EQ(TestSupport::CaptureStdout([&] { System::PrintArguments(args); }), "'double'");
    args.push_back(MetaValue("text"));
    EXPECT_EQ(TestSupport::CaptureStdout([&] { System::PrintArguments(args); }),
              "'double', 'char const *'");
}

TEST(MetaValueObjects, ReadsCheckTheClass) {
    Grand grand;
    Child child;
    Other other;
    EXPECT_EQ(MetaValue(&grand).ToObject<Grand>(), &grand);
    EXPECT_EQ(MetaValue(&grand).ToObject<Child>(), nullptr);
    EXPECT_EQ(MetaValue(&grand).ToObject<Other>(), nullptr);
    EXPECT_EQ(MetaValue(&child).ToObject<Grand>(), &child);
    EXPECT_EQ(MetaValue(&child).ToObject<Parent>(), &child);
    EXPECT_EQ(MetaValue(&other).ToObjectBase(), &other);
    EXPECT_EQ(MetaValue(static_cast<Grand*>(nullptr)).ToObject<Grand>(), nullptr);

    // A userdata block holds the object's base pointer.
    MetaBase* slot = &child;
    MetaValue userdata =
        MetaValue::Pointer(&slot, "void *", "void", MetaValue::Holds::UserdataBlock);
    EXPECT_EQ(userdata.ToObject<Child>(), &child);
    slot = nullptr;
    EXPECT_EQ(userdata.ToObject<Child>(), nullptr);
    // A plain pointer is never taken for an object, even when it points at one.
    EXPECT_EQ(MetaValue::Pointer(&grand, "void *", "void").ToObject<Grand>(), nullptr);

    // The reflection part need not be the first base: reads give back the
    // object's own address.
    Offset offset;
    MetaValue value(&offset);
    EXPECT_EQ(value.ToObject<Offset>(), &offset);
    EXPECT_EQ(value.Get<Offset*>(), &offset);
    EXPECT_EQ(value.Get<Offset*>()->filler, 7);
}

TEST(MetaMethods, TheAdapterChecksSelf) {
    Grand grand;
    Child child;
    Other other;
    MetaArgs args;
    System::MetaMethod sides = &System::Method<Grand, &Sides>;
    grand.sides = 6;
    EXPECT_EQ(sides(&grand, args).ToInt(), 6);
    EXPECT_EQ(sides(&child, args).ToInt(), 3);
    EXPECT_TRUE(sides(&other, args).IsBadSelf());
    EXPECT_TRUE(sides(nullptr, args).IsBadSelf());
    EXPECT_FALSE(sides(&grand, args).IsBadSelf());
}

TEST(MetaDataMethods, TheFirstRegistrationOfANameWins) {
    MetaData<Other>::AddMethod("Twice", &FirstTwice);
    MetaData<Other>::AddMethod("Twice", &SecondTwice);
    EXPECT_EQ(CallMethod(MetaData<Other>::GetStatic(), "Twice", nullptr), 100);
    EXPECT_EQ(MetaData<Other>::GetStatic().Parent(), nullptr);
}

TEST(MetaDataMethods, ParentsAreLinkedAndRegisteredFirst) {
    int grandBefore = Grand::registrations;
    int parentBefore = Parent::registrations;
    Child::RegisterMethods();
    // Each derived registration runs its base's registration first.
    EXPECT_EQ(Parent::registrations, parentBefore + 1);
    EXPECT_EQ(Grand::registrations, grandBefore + 1);

    const MetaBase& child = MetaData<Child>::GetStatic();
    const MetaBase& parent = MetaData<Parent>::GetStatic();
    const MetaBase& grand = MetaData<Grand>::GetStatic();
    EXPECT_EQ(child.Parent(), &parent);
    EXPECT_EQ(parent.Parent(), &grand);
    EXPECT_EQ(grand.Parent(), nullptr);

    // Each class keeps its own methods; the chain holds the inherited ones.
    Child object;
    EXPECT_EQ(CallMethod(child, "Name", &object), 3);
    EXPECT_EQ(CallMethod(parent, "Name", &object), 2);
    EXPECT_EQ(CallMethod(grand, "Name", &object), 1);
    EXPECT_EQ(CallMethod(grand, "GrandOnly", &object), 10);
    EXPECT_EQ(child.Methods().size(), 1u);
    EXPECT_EQ(grand.Methods().size(), 2u);

    // Registering again changes nothing.
    Child::RegisterMethods();
    EXPECT_EQ(child.Parent(), &parent);
    EXPECT_EQ(grand.Methods().size(), 2u);
    EXPECT_EQ(CallMethod(child, "Name", &object), 3);
}

TEST(MetaDataProperties, LookupsOfFieldsAndRunTimeProperties) {
    Grand grand;
    EXPECT_STREQ(grand.GetTypeName(), "class metatest::Grand");
    Child child;
    EXPECT_STREQ(child.GetTypeName(), "class metatest::Grand");  // not overridden

    EXPECT_TRUE(grand.HasProperty("sides"));
    EXPECT_FALSE(grand.HasProperty("Sides"));
    MetaValue sides = grand.GetProperty("sides");
    EXPECT_STREQ(sides.typeName, "int *");
    EXPECT_EQ(sides.Get<int*>(), &grand.sides);
    // The first registration of a property name wins.
    grand.AddProperty("sides", MetaValue(&grand.area));
    EXPECT_EQ(grand.GetProperty("sides").Get<int*>(), &grand.sides);

    // Missing and null names are simply absent.
    EXPECT_FALSE(grand.HasProperty("missing"));
    EXPECT_EQ(grand.FindProperty("missing"), nullptr);
    EXPECT_FALSE(grand.GetProperty("missing").HasValue());
    EXPECT_FALSE(grand.HasProperty(nullptr));
    EXPECT_EQ(grand.FindProperty(nullptr), nullptr);
    EXPECT_FALSE(grand.GetProperty(nullptr).HasValue());

    int marker = 0;
    EXPECT_TRUE(grand.AddDynamicProperty("marker", MetaValue(&marker), Ownership::None));
    EXPECT_TRUE(grand.HasProperty("marker"));
    EXPECT_EQ(grand.GetProperty("marker").Get<int*>(), &marker);
    EXPECT_EQ(grand.DynamicProperties().size(), 1u);
    EXPECT_FALSE(grand.AddDynamicProperty(nullptr, MetaValue(&marker), Ownership::None));
    EXPECT_FALSE(child.HasProperty("marker"));
}

namespace {

std::vector<int> g_releasedRefs;
void CountRelease(int ref, const void*) {
    g_releasedRefs.push_back(ref);
}

// Installs the counting hook for one test and puts the old one back.
struct ReleaseHookScope {
    ReleaseHookScope() : saved(MetaBase::releaseLuaRef) {
        g_releasedRefs.clear();
        MetaBase::releaseLuaRef = &CountRelease;
    }
    ~ReleaseHookScope() { MetaBase::releaseLuaRef = saved; }
    void (*saved)(int, const void*);
};

double* NewNumber(double v) {
    auto* block = static_cast<double*>(System::PoolNew(sizeof(double)));
    *block = v;
    return block;
}

Userdata* NewUserdata(MetaBase* object) {
    auto* record = new Userdata;
    record->object = object;
    record->className = System::MakeString("a class name long enough to allocate");
    return record;
}

}  // namespace

TEST(MetaDataProperties, RunTimePropertiesAreFreedByOwnership) {
    ReleaseHookScope hook;
    // Without the pool the sanitizer's leak check watches the heap; with it
    // the pool's counters show what was given back.
    for (bool withPool : {false, true}) {
        SCOPED_TRACE(withPool);
        std::optional<uint32_t> aliveBefore;
        if (withPool) {
            ASSERT_NE(System::CreateEnginePool(1 << 20), nullptr);
            aliveBefore = System::GetEnginePool()->alive;
        }
        g_releasedRefs.clear();
        int stackValue = 9;
        Grand* grand = new Grand;
        ASSERT_NE(grand, nullptr);
        Other target;
        EXPECT_TRUE(
            grand->AddDynamicProperty("speed", MetaValue(NewNumber(2.5)), Ownership::Block));
        EXPECT_TRUE(grand->AddDynamicProperty("friend", MetaValue(NewUserdata(&target)),
                                              Ownership::Userdata));
        EXPECT_TRUE(grand->AddDynamicProperty(
            "thread", MetaValue::Pointer(nullptr, "void *", "void"), Ownership::LuaRef, 7));
        EXPECT_TRUE(grand->AddDynamicProperty("light", MetaValue(static_cast<void*>(&stackValue)),
                                              Ownership::None));
        EXPECT_EQ(*grand->GetProperty("speed").Get<double*>(), 2.5);

        // A name already taken (a field or a run-time property) keeps its
        // value; the payload offered for it is released at once.
        EXPECT_FALSE(grand->AddDynamicProperty("sides", MetaValue(NewNumber(1)), Ownership::Block));
        EXPECT_FALSE(grand->AddDynamicProperty("speed", MetaValue(NewNumber(1)), Ownership::Block));
        EXPECT_FALSE(grand->AddDynamicProperty("friend", MetaValue(NewUserdata(&target)),
                                               Ownership::Userdata));
        EXPECT_FALSE(grand->AddDynamicProperty(
            "thread", MetaValue::Pointer(nullptr, "void *", "void"), Ownership::LuaRef, 8));
        EXPECT_EQ(g_releasedRefs, std::vector<int>{8});
        EXPECT_EQ(*grand->GetProperty("speed").Get<double*>(), 2.5);
        EXPECT_EQ(grand->GetProperty("sides").Get<int*>(), &grand->sides);

        delete grand;
        EXPECT_EQ(g_releasedRefs, (std::vector<int>{8, 7}));
        EXPECT_EQ(stackValue, 9);
        if (withPool) {
            EXPECT_EQ(System::GetEnginePool()->alive, *aliveBefore);
            System::ShutdownEnginePool();
        }
    }
    // An object without run-time properties frees only its maps; no hook.
    g_releasedRefs.clear();
    delete new Grand;
    EXPECT_TRUE(g_releasedRefs.empty());
    // Without a hook (no Lua state) a reference is simply dropped.
    MetaBase::releaseLuaRef = nullptr;
    Grand plain;
    EXPECT_TRUE(plain.AddDynamicProperty("thread", MetaValue::Pointer(nullptr, "void *", "void"),
                                         Ownership::LuaRef, 3));
}
