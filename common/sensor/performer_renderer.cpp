#include "common/sensor/performer_renderer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/sensor/performer_body.h"

namespace {

constexpr float PI = 3.14159265f;
constexpr int MAX_PRIMITIVES_PER_BODY = 40;
constexpr int MAX_BODIES = SKELETON_SLOT_COUNT;
constexpr uint16_t EMPTY_MM = 0xFFFF;

struct Primitive {
    bool capsule = true;
    // Capsule: segment a..b with radius.
    Vec3 a, b;
    float radius = 0.0f;
    // Ellipsoid: q = M (p - centre) maps it onto the unit sphere; cols are M's columns.
    Vec3 col[3];
    Vec3 mc;  // M * centre
    uint8_t surface = 0;
};

struct ScenePrimitives {
    std::array<Primitive, MAX_PRIMITIVES_PER_BODY * MAX_BODIES> items;
    int count = 0;
};

// Ray directions through pixel centres: (xs[u], ys[v], 1), so a hit's ray parameter is its z.
struct RayTables {
    float xs[FRAME_WIDTH];
    float ys[FRAME_HEIGHT];
    RayTables() {
        for (int u = 0; u < FRAME_WIDTH; ++u) xs[u] = (static_cast<float>(u) - 320.0f) / DEPTH_FOCAL_LENGTH;
        for (int v = 0; v < FRAME_HEIGHT; ++v) ys[v] = (240.0f - static_cast<float>(v)) / DEPTH_FOCAL_LENGTH;
    }
};

const RayTables& rays() {
    static const RayTables tables;
    return tables;
}

uint8_t surfaceCode(RenderMaterial material, uint8_t player) {
    return static_cast<uint8_t>(material << 3 | (player & 7));
}

void addCapsule(ScenePrimitives& scene, Vec3 a, Vec3 b, float radius, uint8_t surface) {
    if (scene.count >= static_cast<int>(scene.items.size())) return;
    Primitive& p = scene.items[scene.count++];
    p.capsule = true;
    p.a = a;
    p.b = b;
    p.radius = radius;
    p.surface = surface;
}

// axes: three orthonormal directions; semi: the semi-axis lengths along them.
void addEllipsoid(ScenePrimitives& scene, Vec3 centre, const Vec3 axes[3], Vec3 semi, uint8_t surface) {
    if (scene.count >= static_cast<int>(scene.items.size())) return;
    Primitive& p = scene.items[scene.count++];
    p.capsule = false;
    const float s[3] = {semi.x, semi.y, semi.z};
    Vec3 rows[3];
    for (int i = 0; i < 3; ++i) rows[i] = axes[i] / s[i];
    p.col[0] = {rows[0].x, rows[1].x, rows[2].x};
    p.col[1] = {rows[0].y, rows[1].y, rows[2].y};
    p.col[2] = {rows[0].z, rows[1].z, rows[2].z};
    p.mc = {dot(rows[0], centre), dot(rows[1], centre), dot(rows[2], centre)};
    p.a = centre;
    p.radius = std::max(semi.x, std::max(semi.y, semi.z));
    p.surface = surface;
}

void addHand(ScenePrimitives& scene, Vec3 wrist, Vec3 elbow, HandShape shape, int hand, uint8_t player) {
    const uint8_t skin = surfaceCode(MATERIAL_SKIN, player);
    // The hand lies in the frontal plane, palm to the camera, pointing where the forearm
    // points in the image: from the elbow's pixel through the wrist's, perspective included,
    // as whoever reads the image finds the hand's direction (upward when the two coincide).
    // A frontal-plane step at the wrist keeps its direction in the image.
    float ue, ve, uw, vw;
    projectToImage(elbow.x, elbow.y, elbow.z, ue, ve);
    projectToImage(wrist.x, wrist.y, wrist.z, uw, vw);
    Vec3 up = {uw - ue, ve - vw, 0.0f};
    up = length(up) > 1.0f ? normalized(up) : Vec3{0.0f, 1.0f, 0.0f};
    Vec3 side = {up.y, -up.x, 0.0f};
    Vec3 depthAxis = {0.0f, 0.0f, 1.0f};
    const Vec3 axes[3] = {up, side, depthAxis};
    if (shape == HandShape::CLOSED) {
        addEllipsoid(scene, wrist + up * 0.045f, axes, {0.048f, 0.045f, 0.04f}, skin);
        return;
    }
    addEllipsoid(scene, wrist + up * 0.045f, axes, {0.05f, 0.042f, 0.014f}, skin);
    // Palm to the camera: a right hand's thumb points to the person's left, and vice versa.
    float thumbSide = hand == HAND_RIGHT ? -1.0f : 1.0f;
    struct Finger {
        float along, across, angleDegrees, length, radius;
    };
    const Finger fingers[5] = {
        {0.088f, 0.028f, 24.0f, 0.072f, 0.0085f},   // index
        {0.088f, 0.010f, 7.0f, 0.082f, 0.0085f},    // middle
        {0.088f, -0.009f, -9.0f, 0.076f, 0.0085f},  // ring
        {0.084f, -0.027f, -26.0f, 0.060f, 0.0075f}, // little
        {0.025f, 0.035f, 62.0f, 0.065f, 0.0100f},   // thumb
    };
    for (const Finger& f : fingers) {
        float angle = f.angleDegrees * PI / 180.0f;
        Vec3 base = wrist + up * f.along + side * (f.across * thumbSide);
        Vec3 dir = up * std::cos(angle) + side * (thumbSide * std::sin(angle));
        addCapsule(scene, base, base + dir * f.length, f.radius, skin);
    }
}

bool plausibleBody(const SkeletonRecord& s) {
    if (s.trackingState != SKELETON_TRACKED) return false;
    for (const Vector4& j : s.joints) {
        if (!std::isfinite(j.x) || !std::isfinite(j.y) || !std::isfinite(j.z)) return false;
    }
    return s.joints[JOINT_SPINE].z > 0.3f;
}

void addBody(ScenePrimitives& scene, const RenderBody& body) {
    const SkeletonRecord& s = *body.skeleton;
    auto j = [&](int joint) { return jointPosition(s, joint); };
    const uint8_t player = body.player;
    const uint8_t skin = surfaceCode(MATERIAL_SKIN, player);
    const uint8_t shirt = surfaceCode(MATERIAL_SHIRT, player);
    const uint8_t trousers = surfaceCode(MATERIAL_TROUSERS, player);
    const uint8_t hair = surfaceCode(MATERIAL_HAIR, player);
    const uint8_t shoes = surfaceCode(MATERIAL_SHOES, player);

    // Body frame from the torso joints; the normal points toward the camera for a person
    // facing it.
    Vec3 up = normalized(j(JOINT_SHOULDER_CENTER) - j(JOINT_HIP_CENTER));
    if (length(up) < 0.5f) up = {0.0f, 1.0f, 0.0f};
    Vec3 right = j(JOINT_SHOULDER_RIGHT) - j(JOINT_SHOULDER_LEFT);
    right = normalized(right - up * dot(right, up));
    if (length(right) < 0.5f) right = normalized(cross(up, Vec3{0.0f, 0.0f, 1.0f}));
    if (length(right) < 0.5f) right = {1.0f, 0.0f, 0.0f};
    Vec3 forward = cross(up, right);
    const Vec3 axes[3] = {right, up, forward};

    Vec3 head = j(JOINT_HEAD);
    addEllipsoid(scene, head + up * 0.035f - forward * 0.02f, axes, {0.09f, 0.10f, 0.095f}, hair);
    addEllipsoid(scene, head + up * 0.01f, axes, {0.08f, 0.105f, 0.095f}, skin);
    addCapsule(scene, j(JOINT_SHOULDER_CENTER), head, 0.05f, skin);
    Vec3 torsoCentre = (j(JOINT_SHOULDER_CENTER) + j(JOINT_HIP_CENTER)) * 0.5f;
    addEllipsoid(scene, torsoCentre, axes, {0.17f, 0.30f, 0.11f}, shirt);
    addCapsule(scene, j(JOINT_SHOULDER_LEFT), j(JOINT_SHOULDER_RIGHT), 0.06f, shirt);
    addEllipsoid(scene, j(JOINT_HIP_CENTER), axes, {0.17f, 0.12f, 0.11f}, trousers);

    addCapsule(scene, j(JOINT_SHOULDER_LEFT), j(JOINT_ELBOW_LEFT), 0.045f, shirt);
    addCapsule(scene, j(JOINT_SHOULDER_RIGHT), j(JOINT_ELBOW_RIGHT), 0.045f, shirt);
    addCapsule(scene, j(JOINT_ELBOW_LEFT), j(JOINT_WRIST_LEFT), 0.034f, skin);
    addCapsule(scene, j(JOINT_ELBOW_RIGHT), j(JOINT_WRIST_RIGHT), 0.034f, skin);
    addHand(scene, j(JOINT_WRIST_LEFT), j(JOINT_ELBOW_LEFT), body.left, HAND_LEFT, player);
    addHand(scene, j(JOINT_WRIST_RIGHT), j(JOINT_ELBOW_RIGHT), body.right, HAND_RIGHT, player);

    addCapsule(scene, j(JOINT_HIP_LEFT), j(JOINT_KNEE_LEFT), 0.075f, trousers);
    addCapsule(scene, j(JOINT_HIP_RIGHT), j(JOINT_KNEE_RIGHT), 0.075f, trousers);
    addCapsule(scene, j(JOINT_KNEE_LEFT), j(JOINT_ANKLE_LEFT), 0.055f, trousers);
    addCapsule(scene, j(JOINT_KNEE_RIGHT), j(JOINT_ANKLE_RIGHT), 0.055f, trousers);
    addCapsule(scene, j(JOINT_ANKLE_LEFT), j(JOINT_FOOT_LEFT), 0.045f, shoes);
    addCapsule(scene, j(JOINT_ANKLE_RIGHT), j(JOINT_FOOT_RIGHT), 0.045f, shoes);
}

// Pixel rectangle covering spheres of `radius` around every point of the segment a..b
// (a == b for a sphere); false when off-image or not wholly in front of the camera.
bool projectedBounds(Vec3 a, Vec3 b, float radius, int& u0, int& u1, int& v0, int& v1) {
    float zNear = std::min(a.z, b.z) - radius;
    if (zNear < 0.1f) return false;
    float ua, va, ub, vb;
    projectToImage(a.x, a.y, a.z, ua, va);
    projectToImage(b.x, b.y, b.z, ub, vb);
    // A sphere off the axis projects a little wider than radius * f / z: widen by the
    // slope of the line of sight.
    float lateral = std::max(std::fabs(ua - 320.0f), std::fabs(ub - 320.0f)) / DEPTH_FOCAL_LENGTH +
                    std::max(std::fabs(va - 240.0f), std::fabs(vb - 240.0f)) / DEPTH_FOCAL_LENGTH;
    float r = radius * DEPTH_FOCAL_LENGTH / zNear * (1.0f + lateral) + 2.0f;
    float fu0 = std::max(0.0f, std::min(ua, ub) - r);
    float fu1 = std::min(static_cast<float>(FRAME_WIDTH - 1), std::max(ua, ub) + r);
    float fv0 = std::max(0.0f, std::min(va, vb) - r);
    float fv1 = std::min(static_cast<float>(FRAME_HEIGHT - 1), std::max(va, vb) + r);
    if (fu0 > fu1 || fv0 > fv1) return false;
    u0 = static_cast<int>(fu0);
    u1 = static_cast<int>(std::ceil(fu1));
    v0 = static_cast<int>(fv0);
    v1 = static_cast<int>(std::ceil(fv1));
    return true;
}

void drawCapsule(const Primitive& p, RenderTarget& target) {
    int u0, u1, v0, v1;
    if (!projectedBounds(p.a, p.b, p.radius, u0, u1, v0, v1)) return;
    const RayTables& t = rays();
    const Vec3 ba = p.b - p.a;
    const Vec3 oa = -p.a;
    const Vec3 ob = -p.b;
    const float baba = dot(ba, ba);
    const float baoa = dot(ba, oa);
    const float rr = p.radius * p.radius;
    const float c = baba * dot(oa, oa) - baoa * baoa - rr * baba;
    const float capA = dot(oa, oa) - rr;
    const float capB = dot(ob, ob) - rr;
    uint16_t* mm = target.millimetres.data();
    uint8_t* surf = target.surface.data();
    for (int v = v0; v <= v1; ++v) {
        const float y = t.ys[v];
        for (int u = u0; u <= u1; ++u) {
            const Vec3 rd = {t.xs[u], y, 1.0f};
            const float dd = dot(rd, rd);
            const float bard = dot(ba, rd);
            const float rdoa = dot(rd, oa);
            const float a = baba * dd - bard * bard;
            const float b = baba * rdoa - baoa * bard;
            const float h = b * b - a * c;
            if (h < 0.0f) continue;
            float hit = -1.0f;
            float along = -1.0f;
            if (a > 1e-9f) {
                float tc = (-b - std::sqrt(h)) / a;
                along = baoa + tc * bard;
                if (along > 0.0f && along < baba) hit = tc;
            }
            if (hit < 0.0f) {
                // End caps: the sphere at whichever end the cylinder hit lies beyond.
                bool atA = along <= 0.0f;
                Vec3 oc = atA ? oa : ob;
                float bs = dot(rd, oc);
                float hs = bs * bs - dd * (atA ? capA : capB);
                if (hs <= 0.0f) continue;
                hit = (-bs - std::sqrt(hs)) / dd;
            }
            if (hit <= 0.0f) continue;
            float depth = hit * 1000.0f;
            int i = v * FRAME_WIDTH + u;
            if (depth < static_cast<float>(mm[i])) {
                mm[i] = static_cast<uint16_t>(depth);
                surf[i] = p.surface;
            }
        }
    }
}

void drawEllipsoid(const Primitive& p, RenderTarget& target) {
    int u0, u1, v0, v1;
    if (!projectedBounds(p.a, p.a, p.radius, u0, u1, v0, v1)) return;
    const RayTables& t = rays();
    const Vec3 B = p.mc;
    const float bbMinus1 = dot(B, B) - 1.0f;
    uint16_t* mm = target.millimetres.data();
    uint8_t* surf = target.surface.data();
    for (int v = v0; v <= v1; ++v) {
        const Vec3 rowBase = p.col[1] * t.ys[v] + p.col[2];
        for (int u = u0; u <= u1; ++u) {
            const Vec3 A = p.col[0] * t.xs[u] + rowBase;
            const float aa = dot(A, A);
            const float ab = dot(A, B);
            const float disc = ab * ab - aa * bbMinus1;
            if (disc < 0.0f) continue;
            float hit = (ab - std::sqrt(disc)) / aa;
            if (hit <= 0.0f) continue;
            float depth = hit * 1000.0f;
            int i = v * FRAME_WIDTH + u;
            if (depth < static_cast<float>(mm[i])) {
                mm[i] = static_cast<uint16_t>(depth);
                surf[i] = p.surface;
            }
        }
    }
}

// Back wall (z = BACK_WALL_Z) and floor (y = FLOOR_Y) of the room, in the tilted frame.
void drawRoom(int tiltDegrees, RenderTarget& target) {
    float a = static_cast<float>(tiltDegrees) * PI / 180.0f;
    float ca = std::cos(a), sa = std::sin(a);
    // Plane n . p = c in camera coordinates; a ray t * (x, y, 1) meets it at t = c / (n . d).
    const float wallNy = -sa, wallNz = ca, wallC = BACK_WALL_Z;
    const float floorNy = ca, floorNz = sa, floorC = FLOOR_Y;
    const uint8_t wall = surfaceCode(MATERIAL_WALL, 0);
    const uint8_t floor = surfaceCode(MATERIAL_FLOOR, 0);
    const RayTables& t = rays();
    uint16_t* mm = target.millimetres.data();
    uint8_t* surf = target.surface.data();
    for (int v = 0; v < FRAME_HEIGHT; ++v) {
        const float y = t.ys[v];
        const float wallDen = wallNy * y + wallNz;  // x does not enter either plane
        const float floorDen = floorNy * y + floorNz;
        float best = 1e9f;
        uint8_t code = 0;
        if (wallDen > 1e-6f) {
            best = wallC / wallDen;
            code = wall;
        }
        if (floorDen < -1e-6f) {
            float tf = floorC / floorDen;
            if (tf > 0.0f && tf < best) {
                best = tf;
                code = floor;
            }
        }
        uint16_t depth = best * 1000.0f < 65000.0f ? static_cast<uint16_t>(best * 1000.0f) : EMPTY_MM;
        if (code == 0) depth = EMPTY_MM;
        std::fill(mm + v * FRAME_WIDTH, mm + (v + 1) * FRAME_WIDTH, depth);
        std::fill(surf + v * FRAME_WIDTH, surf + (v + 1) * FRAME_WIDTH, code);
    }
}

RenderTarget& scratchTarget() {
    thread_local RenderTarget target;
    return target;
}

}  // namespace

RenderTarget::RenderTarget() : millimetres(FRAME_PIXELS, 0), surface(FRAME_PIXELS, 0) {}

void renderScene(const RenderBody* bodies, int bodyCount, int tiltDegrees, RenderTarget& target) {
    if (target.millimetres.size() != static_cast<size_t>(FRAME_PIXELS)) target.millimetres.assign(FRAME_PIXELS, 0);
    if (target.surface.size() != static_cast<size_t>(FRAME_PIXELS)) target.surface.assign(FRAME_PIXELS, 0);
    drawRoom(tiltDegrees, target);
    thread_local ScenePrimitives scene;
    scene.count = 0;
    for (int i = 0; i < bodyCount && i < MAX_BODIES; ++i) {
        if (bodies[i].skeleton != nullptr && plausibleBody(*bodies[i].skeleton)) addBody(scene, bodies[i]);
    }
    for (int i = 0; i < scene.count; ++i) {
        const Primitive& p = scene.items[i];
        if (p.capsule) {
            drawCapsule(p, target);
        } else {
            drawEllipsoid(p, target);
        }
    }
    // The sensor reads nothing nearer or farther than its range.
    uint16_t* mm = target.millimetres.data();
    uint8_t* surf = target.surface.data();
    for (int i = 0; i < FRAME_PIXELS; ++i) {
        if (mm[i] < RENDER_MIN_MM || mm[i] > RENDER_MAX_MM) {
            mm[i] = 0;
            surf[i] = 0;
        }
    }
}

void packDepth(const RenderTarget& target, uint16_t* packedDepth) {
    const uint16_t* mm = target.millimetres.data();
    const uint8_t* surf = target.surface.data();
    for (int i = 0; i < FRAME_PIXELS; ++i) {
        packedDepth[i] = static_cast<uint16_t>(mm[i] << 3 | (surf[i] & 7));
    }
}

void shadeColour(const RenderTarget& target, uint8_t* bgrx) {
    // Base colours (B, G, R) per material; a second player wears a different shirt.
    static const uint8_t base[8][3] = {
        {20, 20, 20},    // none: black
        {200, 210, 215}, // wall: light warm grey
        {70, 100, 130},  // floor: brown wood
        {120, 160, 220}, // skin
        {170, 90, 40},   // shirt: blue
        {60, 55, 50},    // trousers: dark grey
        {30, 40, 60},    // hair: dark brown
        {25, 25, 25},    // shoes
    };
    static const uint8_t secondShirt[3] = {40, 90, 170};  // orange
    // Light from above left, in front of the person.
    const Vec3 light = normalized(Vec3{-0.3f, 0.5f, -1.0f});
    // Wall and floor are flat: their shade is fixed (wall faces the camera, floor faces up).
    const float wallShade = 0.35f + 0.65f * dot(Vec3{0.0f, 0.0f, -1.0f}, light);
    const float floorShade = 0.35f + 0.65f * dot(Vec3{0.0f, 1.0f, 0.0f}, light);
    const uint16_t* mm = target.millimetres.data();
    const uint8_t* surf = target.surface.data();
    for (int v = 0; v < FRAME_HEIGHT; ++v) {
        for (int u = 0; u < FRAME_WIDTH; ++u) {
            const int i = v * FRAME_WIDTH + u;
            uint8_t* out = bgrx + 4 * i;
            const int material = surf[i] >> 3;
            const int player = surf[i] & 7;
            float shade = 1.0f;
            if (material == MATERIAL_WALL) {
                shade = wallShade;
            } else if (material == MATERIAL_FLOOR) {
                shade = floorShade;
            } else if (mm[i] != 0 && u > 0 && u < FRAME_WIDTH - 1 && v > 0 && v < FRAME_HEIGHT - 1) {
                // Surface slope from the neighbours of the same surface (mm per pixel).
                auto slope = [&](int j, int k) {
                    if (surf[j] != surf[i] || surf[k] != surf[i]) return 0.0f;
                    return static_cast<float>(static_cast<int>(mm[k]) - static_cast<int>(mm[j])) * 0.5f;
                };
                const float pixelsPerMm = DEPTH_FOCAL_LENGTH / static_cast<float>(mm[i]);
                const float dzdx = slope(i - 1, i + 1) * pixelsPerMm;
                const float dzdy = -slope(i - FRAME_WIDTH, i + FRAME_WIDTH) * pixelsPerMm;
                const Vec3 normal = normalized(Vec3{dzdx, dzdy, -1.0f});
                shade = 0.35f + 0.65f * std::max(0.0f, dot(normal, light));
            }
            if (mm[i] != 0) shade *= 1.0f - 0.1f * std::min(1.0f, static_cast<float>(mm[i]) * (1.0f / 4000.0f));
            const uint8_t* colour = base[material];
            if (material == MATERIAL_SHIRT && player >= 2) colour = secondShirt;
            out[0] = static_cast<uint8_t>(std::min(255.0f, colour[0] * shade));
            out[1] = static_cast<uint8_t>(std::min(255.0f, colour[1] * shade));
            out[2] = static_cast<uint8_t>(std::min(255.0f, colour[2] * shade));
            out[3] = 0;
        }
    }
}

namespace {

// One person with the given hand shapes, rendered into the reused scratch target.
const RenderTarget& renderOnePerformer(const SkeletonRecord& skeleton, HandShape left, HandShape right,
                                       int tiltDegrees) {
    RenderBody body;
    body.skeleton = &skeleton;
    body.left = left;
    body.right = right;
    RenderTarget& target = scratchTarget();
    renderScene(&body, 1, tiltDegrees, target);
    return target;
}

}  // namespace

void renderPerformerDepth(const SkeletonRecord& skeleton, HandShape left, HandShape right, int tiltDegrees,
                          uint16_t* packedDepth) {
    packDepth(renderOnePerformer(skeleton, left, right, tiltDegrees), packedDepth);
}

void renderPerformerColour(const SkeletonRecord& skeleton, HandShape left, HandShape right, int tiltDegrees,
                           uint8_t* bgrx) {
    shadeColour(renderOnePerformer(skeleton, left, right, tiltDegrees), bgrx);
}

void renderSkeletonImages(const SkeletonRecord& skeleton, uint16_t* packedDepth, uint8_t* bgrx) {
    RenderBody body;
    body.skeleton = &skeleton;
    RenderTarget& target = scratchTarget();
    renderScene(&body, 1, 0, target);
    if (packedDepth != nullptr) packDepth(target, packedDepth);
    if (bgrx != nullptr) shadeColour(target, bgrx);
}
