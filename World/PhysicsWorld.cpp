#include "World/PhysicsWorld.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <unordered_set>
#include <utility>

#include "System/Source/Components/GenericGameObject.h"
#include "System/Source/MessageQueue.h"
#include "World/PhysicsBody.h"

namespace PhysicsWorld {
namespace {

// What the step works on. Only the body list is kept between steps; the
// rest is scratch whose memory is reused, so a running game does not
// allocate every frame.
struct Entry {
    PhysicsBody* body;
    Vec2 position;  // at ordering time; y is the order
    float radius;   // the bounding radius
    float reach;    // its absolute value
    bool still;     // mass exactly 0
    bool fast;      // moves more than half its thickness this step
    bool shaped;    // a body always has a shape; a pair without one is never tested
};
struct Candidate {
    uint32_t a, b;  // indices into the ordered list, a < b
    bool touched;
    bool bounced;  // the pair has had its one bounce of this substep
    int code;
    Vec2 normal;  // of the first touch
};
// A body's bounding square for the sweep across.
struct Extent {
    double lo, hi;  // left and right
    double bottom, top;
    uint32_t entry;  // index into the ordered list
};
struct Touch {
    PhysicsBody* a;
    PhysicsBody* b;
    Vec2 normal;
    int code;
};
struct PairHash {
    size_t operator()(const std::pair<PhysicsBody*, PhysicsBody*>& pair) const {
        return std::hash<PhysicsBody*>()(pair.first) * 31 + std::hash<PhysicsBody*>()(pair.second);
    }
};
using PairSet = std::unordered_set<std::pair<PhysicsBody*, PhysicsBody*>, PairHash, std::equal_to<>,
                                   System::PoolAllocator<std::pair<PhysicsBody*, PhysicsBody*>>>;

struct World : System::PoolObject {
    // A removed body leaves an empty place (null), dropped in one pass
    // before the next step or once the empty places are half the list:
    // taking bodies out one by one would move the rest each time, and
    // moving the last into the gap would change the order the step sees.
    BodyList bodies;
    size_t removed = 0;  // empty places in `bodies`
    // Whether each body's listIndex is its place in `bodies`. The step
    // reorders the list without writing them (most frames add and remove
    // nothing); the first add or remove after it writes them all, once.
    bool indexed = true;
    System::Vector<Entry> entries;
    System::Vector<float> laterReach;  // greatest reach from an index on
    System::Vector<Extent> extents;
    System::Vector<std::pair<uint32_t, uint32_t>> found;  // by the sweep, in its order
    System::Vector<uint32_t> firsts;    // where each body's partners start in `partners`
    System::Vector<uint32_t> filled;    // the next free place of each body's partners
    System::Vector<uint32_t> partners;  // the second index of each pair, by first index
    System::Vector<Candidate> candidates;
    System::Vector<Touch> touches;
    System::Vector<PhysicsBody*> replayed;
    PairSet touched;  // the pairs in `touches`, when a step has substeps
};

World* g_world = nullptr;
uint32_t g_step = 1;
bool g_reachShortcut = true;

constexpr float kSlop = 0.1f;
// Rounds of resolution over the pairs within reach: one round leaves a
// stack sinking (each pair is pushed apart once, in list order, and the
// pairs above push the lower ones back in); more rounds let the pushes
// settle. Rounds stop early once one changes nothing.
constexpr int kRounds = 4;
// A move is replayed in steps of at most half the mover's thickness; this
// bounds the cost of a tiny, very fast body.
constexpr int kMaxSubsteps = 32;
// How many pairs ahead the resolution fetches bodies into the cache.
constexpr size_t kFetchAhead = 8;
// How far the broad phase widens its reach past float rounding.
constexpr double kReachMargin = 1.001;
constexpr double kReachFloor = 1e-18;
// The bodies are swept across when their centres' variance across exceeds
// this many times their variance up (twice the spread).
constexpr double kFlatSpread = 4.0;
// Radii beyond this square to infinity, where the bounding-radius test
// keeps every pair; the broad phase then looks at every pair too.
constexpr float kLargestReach = 1e18f;
constexpr int kCollisionMessage = 6;
constexpr float kFrictionThreshold = 0.001f;

enum CollisionCode { kResponded = 0, kGhost = 1, kFiltered = 2 };

// ---- Messages ----

// Starts a "Collision" message for the LuaComponent of the body's owner;
// null when the owner has none.
MessagePayload* StartMessage(PhysicsBody& body, Vec2 normal, int otherObjectId, int& target) {
    System::GenericGameObject* owner = body.GetOwner();
    System::GenericComponent* script = owner ? owner->GetComponent("LuaComponent") : nullptr;
    if (!script) return nullptr;
    MessagePayload* message = new MessagePayload();
    if (!message) return nullptr;
    target = script->GetId();
    message->AddNumber(kCollisionMessage);
    message->AddText("Collision");
    message->AddNumber(normal.x);
    message->AddNumber(normal.y);
    message->AddNumber(otherObjectId);
    return message;
}

void FinishMessage(MessagePayload* message, int code, PhysicsBody& body, int target) {
    if (!message) return;
    Vec2 velocity = body.GetVelocity();
    message->AddNumber(code);
    message->AddNumber(velocity.x);
    message->AddNumber(velocity.y);
    EnqueueMessage(message, target);
}

int ResponseCode(const PhysicsBody& a, const PhysicsBody& b) {
    if (a.layer != -1 && b.layer != -1 && !a.InCollisionList(b.layer) &&
        !b.InCollisionList(a.layer)) {
        return kFiltered;
    }
    if (a.ghost || b.ghost) return kGhost;
    return kResponded;
}

// The bounding-radius test of a pair.
bool WithinReach(Vec2 a, float radiusA, Vec2 b, float radiusB) {
    float reach = radiusA + radiusB;
    return !((b - a).LengthSquared() > reach * reach);
}
bool WithinReach(const PhysicsBody& a, const PhysicsBody& b) {
    if (!a.shape || !b.shape) return false;
    return WithinReach(a.GetPosition(), a.shape->radius, b.GetPosition(), b.shape->radius);
}

// ---- Substeps ----

// Whether the body's Update of this step moved it, and nothing has moved
// it since (a script that places a body means that place).
bool HasReplayableMove(const PhysicsBody& body) {
    return body.sweep.step == g_step && body.HasTransform() && body.GetPosition() == body.sweep.to;
}

// Enough substeps that no body moves more than half its thickness in one;
// the bodies that need them are marked fast.
int SubstepCount(const BodyList& bodies) {
    float most = 1.0f;
    for (PhysicsBody* body : bodies) {
        body->sweep.fast = false;
        if (!body->shape || !HasReplayableMove(*body)) continue;
        float half = ShapeThickness(*body->shape) / 2;
        if (!(half > 0.0f)) continue;
        float ratio = (body->sweep.to - body->sweep.from).Length() / half;
        body->sweep.fast = ratio > 1.0f;
        if (ratio > most) most = ratio;
    }
    return static_cast<int>(std::ceil(std::min(most, static_cast<float>(kMaxSubsteps))));
}

// Takes the bodies back to where their Update started them.
void Rewind(World& world) {
    world.replayed.clear();
    for (PhysicsBody* body : world.bodies) {
        if (!HasReplayableMove(*body)) continue;
        body->SetPosition(body->sweep.from.x, body->sweep.from.y);
        world.replayed.push_back(body);
    }
}

// One substep of the replayed moves, at the velocity the contacts have
// left: a body stopped by a floor in one substep stays stopped.
void Advance(World& world, int substeps) {
    for (PhysicsBody* body : world.replayed) {
        Vec2 position = body->GetPosition() + body->GetVelocity() * (body->sweep.dt / substeps);
        body->SetPosition(position.x, position.y);
    }
}

// ---- Broad phase ----

void OrderByHeight(World& world) {
    world.entries.clear();
    for (PhysicsBody* body : world.bodies) {
        float radius = body->shape ? body->shape->radius : 0.0f;
        world.entries.push_back({body, body->GetPosition(), radius, std::fabs(radius),
                                 body->mass == 0.0f, body->sweep.fast, body->shape != nullptr});
    }
    // A NaN written into a Transform by a script orders as 0, so that the
    // sort stays well defined.
    auto height = [](const Entry& entry) {
        return std::isnan(entry.position.y) ? 0.0f : entry.position.y;
    };
    std::stable_sort(world.entries.begin(), world.entries.end(),
                     [&height](const Entry& l, const Entry& r) { return height(l) < height(r); });
    for (size_t i = 0; i < world.entries.size(); ++i) world.bodies[i] = world.entries[i].body;
    world.indexed = false;
}

bool ShortcutHolds(const World& world) {
    for (const Entry& entry : world.entries) {
        if (!entry.position.IsFinite() || !(entry.reach < kLargestReach)) return false;
    }
    return true;
}

// Whether the step resolves the pair: not both static, both shaped, within
// reach; with `fastOnly` (substeps before the last) only pairs with a fast
// body: the others are resolved once, at the end of the move, as without
// substeps, so that one fast body does not multiply the cost of the rest.
bool Resolvable(const Entry& a, const Entry& b, bool fastOnly) {
    if ((a.still && b.still) || !a.shaped || !b.shaped) return false;
    if (fastOnly && !a.fast && !b.fast) return false;
    return WithinReach(a.position, a.radius, b.position, b.radius);
}

void AddCandidate(World& world, uint32_t a, uint32_t b) {
    world.candidates.push_back({a, b, false, false, 0, Vec2()});
}

// A body's bounding square. Held in double and widened past float
// rounding, so that the overlap test never drops a pair that the
// bounding-radius test would keep (the floor: a gap whose square would
// round to 0).
Extent MakeExtent(const Entry& entry, uint32_t index) {
    double reach = double(entry.reach) * kReachMargin + kReachFloor;
    double x = entry.position.x, y = entry.position.y;
    return {x - reach, x + reach, y - reach, y + reach, index};
}

// Whether the bodies spread across more than twice as far as up (by the
// spread of their centres): a row on a floor, a level of platforms. The
// scan up the list costs nothing beyond the list's own order, so it is
// kept for everything else.
bool Flat(const System::Vector<Entry>& entries) {
    double sum[2] = {0, 0}, squares[2] = {0, 0};
    for (const Entry& entry : entries) {
        double x = entry.position.x, y = entry.position.y;
        sum[0] += x;
        sum[1] += y;
        squares[0] += x * x;
        squares[1] += y * y;
    }
    double n = double(entries.size());
    return squares[0] - sum[0] * sum[0] / n > kFlatSpread * (squares[1] - sum[1] * sum[1] / n);
}

// The list is ordered by height, so the scan for partners of body i stops
// at the first body k whose height gap exceeds i's radius plus the largest
// radius from k on: neither k nor any later body can then pass the
// bounding-radius test. The pairs come out in list order.
void ScanUp(World& world, bool fastOnly) {
    const System::Vector<Entry>& entries = world.entries;
    uint32_t count = static_cast<uint32_t>(entries.size());
    world.laterReach.assign(count + 1, 0.0f);
    for (uint32_t k = count; k-- > 0;) {
        world.laterReach[k] = std::max(world.laterReach[k + 1], entries[k].reach);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& a = entries[i];
        for (uint32_t k = i + 1; k < count; ++k) {
            const Entry& b = entries[k];
            double gap = double(b.position.y) - a.position.y;
            if (gap > (double(a.reach) + world.laterReach[k]) * kReachMargin + kReachFloor) break;
            if (Resolvable(a, b, fastOnly)) AddCandidate(world, i, k);
        }
    }
}

// Bodies side by side at one height all overlap in height, so a flat
// layout is swept across instead (sweep and prune): the bounding squares
// ordered by their left edge, each tested against those that start before
// it ends. The pairs found are then put in list order (lowest index first,
// then the other index), as the resolution and the messages take them.
void SweepAcross(World& world, bool fastOnly) {
    const System::Vector<Entry>& entries = world.entries;
    uint32_t count = static_cast<uint32_t>(entries.size());
    world.extents.clear();
    for (uint32_t i = 0; i < count; ++i) world.extents.push_back(MakeExtent(entries[i], i));
    std::sort(world.extents.begin(), world.extents.end(),
              [](const Extent& l, const Extent& r) { return l.lo < r.lo; });

    world.found.clear();
    world.firsts.assign(count + 1, 0);
    const Extent* extents = world.extents.data();
    for (uint32_t i = 0; i < count; ++i) {
        const Extent& e = extents[i];
        for (uint32_t k = i + 1; k < count && !(extents[k].lo > e.hi); ++k) {
            const Extent& f = extents[k];
            if (f.bottom > e.top || e.bottom > f.top) continue;
            uint32_t a = std::min(e.entry, f.entry), b = std::max(e.entry, f.entry);
            if (!Resolvable(entries[a], entries[b], fastOnly)) continue;
            world.found.push_back({a, b});
            ++world.firsts[a + 1];
        }
    }
    // A counting sort on the first index, then each body's partners in order.
    for (uint32_t i = 0; i < count; ++i) world.firsts[i + 1] += world.firsts[i];
    world.partners.resize(world.found.size());
    world.filled.assign(world.firsts.begin(), world.firsts.end() - 1);
    for (const auto& [a, b] : world.found) world.partners[world.filled[a]++] = b;
    for (uint32_t a = 0; a < count; ++a) {
        auto begin = world.partners.begin() + world.firsts[a];
        auto end = world.partners.begin() + world.firsts[a + 1];
        std::sort(begin, end);
        for (auto it = begin; it != end; ++it) AddCandidate(world, a, *it);
    }
}

// The pairs the step resolves, in list order (the list is ordered by
// height). The scan and the sweep find them without looking at every
// pair; they need finite positions and radii whose squares do not
// overflow, and without them (or with the shortcut off) every pair is
// looked at.
void FindCandidates(World& world, bool fastOnly) {
    world.candidates.clear();
    if (world.entries.empty()) return;
    if (g_reachShortcut && ShortcutHolds(world)) {
        if (Flat(world.entries)) {
            SweepAcross(world, fastOnly);
        } else {
            ScanUp(world, fastOnly);
        }
        return;
    }
    const System::Vector<Entry>& entries = world.entries;
    uint32_t count = static_cast<uint32_t>(entries.size());
    for (uint32_t i = 0; i < count; ++i) {
        for (uint32_t k = i + 1; k < count; ++k) {
            if (Resolvable(entries[i], entries[k], fastOnly)) AddCandidate(world, i, k);
        }
    }
}

// ---- Resolution ----

// Holds a body in place for one response: with no inverse mass or inertia
// the response moves only the other body of the pair.
class HeldStill {
public:
    explicit HeldStill(PhysicsBody* body) : body_(body) {
        if (!body_) return;
        invMass_ = body_->invMass;
        invInertia_ = body_->invInertia;
        body_->invMass = body_->invInertia = 0.0f;
    }
    ~HeldStill() {
        if (!body_) return;
        body_->invMass = invMass_;
        body_->invInertia = invInertia_;
    }
    HeldStill(const HeldStill&) = delete;
    HeldStill& operator=(const HeldStill&) = delete;

private:
    PhysicsBody* body_;
    float invMass_ = 0.0f;
    float invInertia_ = 0.0f;
};

// The body that carries the other one: the lower of the pair when the
// normal points mostly up or down; none for a contact from the side.
PhysicsBody* Carrier(PhysicsBody& a, PhysicsBody& b, Vec2 normal) {
    if (normal.y > std::fabs(normal.x)) return &a;
    if (-normal.y > std::fabs(normal.x)) return &b;
    return nullptr;
}

// One pair: reach, contact, response. With `holdCarrier` the lower body
// of a pair stacked one on the other is held still. Returns whether the
// response changed a position or a velocity.
bool ResolvePair(PhysicsBody& a, PhysicsBody& b, Candidate& candidate, bool holdCarrier) {
    if (!WithinReach(a, b)) return false;
    a.contactCount = 0;
    b.contactCount = 0;
    Contact contact;
    if (!TestPair(a, b, contact)) return false;
    if (!candidate.touched) {
        candidate.touched = true;
        candidate.normal = contact.normal;
        candidate.code = ResponseCode(a, b);
    }
    if (candidate.code != kResponded) return false;
    HeldStill held(holdCarrier ? Carrier(a, b, contact.normal) : nullptr);
    bool moved = CorrectPositions(a, b, contact);
    bool pushed = ResolveImpulses(a, b, contact.normal, !candidate.bounced);
    candidate.bounced = true;
    return moved || pushed;
}

// Rounds over the pairs, then one settling round. A round shares each
// push by inverse mass, so the weight of a stack reaches the floor one
// pair per round: a tall stack would need as many rounds as it has rows,
// and sinks meanwhile. The pairs are in the list's order, lowest body
// first, so the settling round holds each carrier still after its own
// carriers have settled it, and lifts the whole stack in one pass.
void ResolveCandidates(World& world) {
    auto round = [&world](bool holdCarriers) {
        bool changed = false;
        size_t count = world.candidates.size();
        for (size_t c = 0; c < count; ++c) {
            // The bodies are spread over memory: fetch those of pairs ahead
            // while this one is resolved, and their positions a little later.
            if (c + kFetchAhead < count) {
                const Candidate& ahead = world.candidates[c + kFetchAhead];
                __builtin_prefetch(world.bodies[ahead.a]);
                __builtin_prefetch(world.bodies[ahead.b]);
            }
            if (c + kFetchAhead / 2 < count) {
                const Candidate& near = world.candidates[c + kFetchAhead / 2];
                __builtin_prefetch(world.bodies[near.a]->transform.x);
                __builtin_prefetch(world.bodies[near.b]->transform.x);
            }
            Candidate& candidate = world.candidates[c];
            // Ghost and filtered pairs have nothing to resolve once seen.
            if (candidate.touched && candidate.code != kResponded) continue;
            changed |= ResolvePair(*world.bodies[candidate.a], *world.bodies[candidate.b],
                                   candidate, holdCarriers);
        }
        return changed;
    };
    for (int i = 0; i < kRounds; ++i) {
        if (!round(false)) return;
    }
    round(true);
}

// Adds this substep's touching pairs to the step's, each pair once (the
// set is needed only when there are substeps: within one, every pair is a
// single candidate).
void CollectTouches(World& world, bool substeps) {
    for (const Candidate& candidate : world.candidates) {
        if (!candidate.touched) continue;
        PhysicsBody* a = world.bodies[candidate.a];
        PhysicsBody* b = world.bodies[candidate.b];
        if (substeps && !world.touched.insert({std::min(a, b), std::max(a, b)}).second) continue;
        world.touches.push_back({a, b, candidate.normal, candidate.code});
    }
}

// One message to each body of a touching pair that has a Lua component,
// with the velocities the whole step has left.
void SendMessages(const World& world) {
    for (const Touch& touch : world.touches) {
        int targetA = -1, targetB = -1;
        MessagePayload* messageA =
            StartMessage(*touch.a, touch.normal, touch.b->GetOwnerId(), targetA);
        MessagePayload* messageB =
            StartMessage(*touch.b, -touch.normal, touch.a->GetOwnerId(), targetB);
        FinishMessage(messageA, touch.code, *touch.a, targetA);
        FinishMessage(messageB, touch.code, *touch.b, targetB);
    }
}

// ---- The body list ----

void WriteIndices(World& world, size_t from) {
    for (size_t i = from; i < world.bodies.size(); ++i) {
        if (world.bodies[i]) world.bodies[i]->listIndex = i;
    }
}

// Whether the body is in the list: its index is trusted only when the list
// holds it there, so an index left from a cleared or destroyed list means
// nothing.
bool Listed(World& world, const PhysicsBody& body) {
    if (!world.indexed) {
        WriteIndices(world, 0);
        world.indexed = true;
    }
    return body.listIndex < world.bodies.size() && world.bodies[body.listIndex] == &body;
}

// Closes the gaps removed bodies left, the rest keeping their order.
void DropEmptyPlaces(World& world) {
    if (world.removed == 0) return;
    BodyList& bodies = world.bodies;
    size_t first = size_t(std::find(bodies.begin(), bodies.end(), nullptr) - bodies.begin());
    bodies.erase(std::remove(bodies.begin() + ptrdiff_t(first), bodies.end(), nullptr),
                 bodies.end());
    world.removed = 0;
    if (world.indexed) WriteIndices(world, first);
}

}  // namespace

void Create() {
    if (!g_world) g_world = new World();
}

void Clear() {
    if (!g_world) return;
    g_world->bodies.clear();
    g_world->removed = 0;
}

void Destroy() {
    delete g_world;
    g_world = nullptr;
}

BodyList* GetBodies() {
    if (!g_world) return nullptr;
    DropEmptyPlaces(*g_world);
    return &g_world->bodies;
}

uint32_t CurrentStep() {
    return g_step;
}

void SetReachShortcut(bool enabled) {
    g_reachShortcut = enabled;
}

void AddBody(PhysicsBody* body) {
    if (!body) return;
    Create();
    if (!g_world) return;
    World& world = *g_world;
    if (Listed(world, *body)) return;
    body->listIndex = world.bodies.size();
    world.bodies.push_back(body);
}

void RemoveBody(PhysicsBody* body) {
    if (!g_world || !body) return;
    World& world = *g_world;
    if (!Listed(world, *body)) return;
    world.bodies[body->listIndex] = nullptr;
    body->listIndex = SIZE_MAX;
    ++world.removed;
    if (world.removed * 2 > world.bodies.size()) DropEmptyPlaces(world);
}

bool CorrectPositions(PhysicsBody& a, PhysicsBody& b, const Contact& contact) {
    float inverseSum = a.invMass + b.invMass;
    // Bodies that nothing can move (negative masses) are left where they are.
    if (!(inverseSum > 0.0f)) return false;
    float c = std::max(contact.depth - kSlop, 0.0f);
    if (!(c > 0.0f)) return false;
    Vec2 correction = contact.normal.Normalized() * (c / inverseSum);
    Vec2 pa = a.GetPosition() - correction * a.invMass;
    Vec2 pb = b.GetPosition() + correction * b.invMass;
    a.SetPosition(pa.x, pa.y);
    b.SetPosition(pb.x, pb.y);
    return correction != Vec2();
}

namespace {

// A contact without contact points (circles) takes away the part of the
// relative velocity that closes the pair, without bounce. Pushing the
// positions apart alone would leave the velocity growing under gravity,
// and a resting ball would sink deeper every frame until it fell through.
bool StopApproach(PhysicsBody& a, PhysicsBody& b, Vec2 n) {
    float vn = Dot(b.GetVelocity() - a.GetVelocity(), n);
    float inverseSum = a.invMass + b.invMass;
    if (!(vn < 0.0f) || !(inverseSum > 0.0f)) return false;
    Vec2 impulse = n * (-vn / inverseSum);
    a.ApplyImpulse(-impulse, Vec2());
    b.ApplyImpulse(impulse, Vec2());
    return true;
}

}  // namespace

bool ResolveImpulses(PhysicsBody& a, PhysicsBody& b, Vec2 normal, bool bounce) {
    const PhysicsBody& source = a.contactCount != 0 ? a : b;
    int k = std::clamp(source.contactCount, 0, 2);
    Vec2 n = normal.Normalized();
    if (k == 0) return StopApproach(a, b, n);
    Vec2 pa = a.GetPosition();
    Vec2 pb = b.GetPosition();
    Vec2 rA[2], rB[2], impulse[2];
    float d[2] = {0.0f, 0.0f};
    float j[2] = {0.0f, 0.0f};
    for (int i = 0; i < k; ++i) {
        rA[i] = a.IsBoxShaped() ? Vec2() : source.contacts[i] - pa;
        rB[i] = b.IsBoxShaped() ? Vec2() : source.contacts[i] - pb;
    }
    auto relativeVelocity = [&](int i) {
        return b.GetVelocity() + Cross(b.angularVelocity, rB[i]) - a.GetVelocity() -
               Cross(a.angularVelocity, rA[i]);
    };

    bool changed = false;
    for (int i = 0; i < k; ++i) {
        Vec2 rv = relativeVelocity(i);
        float vn = Dot(rv, n);
        if (!(vn <= 0.0f)) continue;
        float e = bounce ? std::min(a.bounciness, b.bounciness) : 0.0f;
        float crossA = Cross(rA[i], n);
        float crossB = Cross(rB[i], n);
        d[i] = a.invMass + b.invMass + crossA * crossA * a.EffectiveInvInertia() +
               crossB * crossB * b.EffectiveInvInertia();
        j[i] = d[i] != 0.0f ? -(1.0f + e) * vn / d[i] : 0.0f;
        j[i] /= static_cast<float>(k);
        impulse[i] = n * j[i];
        changed |= j[i] != 0.0f;
    }
    for (int i = 0; i < k; ++i) {
        a.ApplyImpulse(-impulse[i], rA[i]);
        b.ApplyImpulse(impulse[i], rB[i]);
    }

    Vec2 frictionImpulse[2];
    for (int i = 0; i < k; ++i) {
        Vec2 rv = relativeVelocity(i);
        Vec2 t = (rv - n * Dot(rv, n)).Normalized();
        float jt = d[i] != 0.0f ? -Dot(rv, t) / d[i] : 0.0f;
        jt /= static_cast<float>(k);
        if (std::fabs(jt) > kFrictionThreshold && std::fabs(t.x) > kFrictionThreshold) {
            float mu = (a.friction + b.friction) / 2;
            frictionImpulse[i] = std::fabs(jt) < j[i] * mu ? t * jt : t * (-j[i] * mu);
            changed |= frictionImpulse[i] != Vec2();
        }
    }
    for (int i = 0; i < k; ++i) {
        a.ApplyImpulse(-frictionImpulse[i], rA[i]);
        b.ApplyImpulse(frictionImpulse[i], rB[i]);
    }
    return changed;
}

void Step() {
    if (!g_world) return;
    World& world = *g_world;
    DropEmptyPlaces(world);
    world.touches.clear();
    world.touched.clear();
    int substeps = SubstepCount(world.bodies);
    if (substeps > 1) Rewind(world);
    for (int substep = 0; substep < substeps; ++substep) {
        if (substeps > 1) Advance(world, substeps);
        OrderByHeight(world);
        FindCandidates(world, substep + 1 < substeps);
        ResolveCandidates(world);
        CollectTouches(world, substeps > 1);
    }
    SendMessages(world);
    // Moves tagged with this step are done; Updates from now on belong to
    // the next.
    if (++g_step == 0) g_step = 1;
}

}  // namespace PhysicsWorld
