// What the four fuzz targets share: a source of choices decoded from the fuzzer's bytes, the
// values and meshes built from those choices, the ways a port can be wired, the plug-in kept
// loaded across runs, and the checks that abort() when the plug-in breaks a promise.
//
// Every choice goes through Source::pick(lo, hi). The fuzz executables read the choices with
// FuzzedDataProvider; the seed writer (TSL_FUZZ_SEEDS) makes them with a random generator,
// records them and writes the bytes that make FuzzedDataProvider give the same choices back,
// so the committed corpus decodes to exactly the runs the writer picked.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "host/host.h"
#include "support/mesh_builders.h"
#include "support/record_invariants.h"

namespace tsl::fuzz {

using test::HostMesh;
using test::RecordRules;
using test::RecordShape;
using tsl::Float3;
using tsl::VastaTopoRecord;

// ---------------------------------------------------------------------------------------------
// Choices.

class Source {
 public:
  virtual ~Source() = default;
  // A value in [lo, hi]. Out of data, lo: every range lists its most ordinary choice first.
  virtual std::int64_t pick(std::int64_t lo, std::int64_t hi) = 0;

  std::size_t count(std::size_t max) {
    return static_cast<std::size_t>(pick(0, std::int64_t(max)));
  }
  // True in one of n cases.
  bool oneIn(int n) { return pick(0, n - 1) == n - 1; }
};

struct Choice {
  std::int64_t lo, hi, value;
};

class BytesSource final : public Source {
 public:
  BytesSource(const std::uint8_t* data, std::size_t size, std::vector<Choice>* record = nullptr)
      : fdp_(data, size), record_(record) {}
  std::int64_t pick(std::int64_t lo, std::int64_t hi) override {
    const std::int64_t v = fdp_.ConsumeIntegralInRange<std::int64_t>(lo, hi);
    if (record_) record_->push_back({lo, hi, v});
    return v;
  }

 private:
  FuzzedDataProvider fdp_;
  std::vector<Choice>* record_;
};

// Uniform random choices, all recorded.
class RandomSource final : public Source {
 public:
  explicit RandomSource(std::uint64_t seed) : rng_(seed) {}
  std::int64_t pick(std::int64_t lo, std::int64_t hi) override {
    const std::int64_t v = std::uniform_int_distribution<std::int64_t>(lo, hi)(rng_);
    choices_.push_back({lo, hi, v});
    return v;
  }
  const std::vector<Choice>& choices() const { return choices_; }

 private:
  std::mt19937_64 rng_;
  std::vector<Choice> choices_;
};

// The bytes from which FuzzedDataProvider::ConsumeIntegralInRange reads the given choices back:
// it takes as many bytes as the range needs, from the end of the data, most significant first.
inline std::vector<std::uint8_t> encodeChoices(const std::vector<Choice>& choices) {
  std::vector<std::uint8_t> consumed;
  for (const Choice& c : choices) {
    const std::uint64_t range = static_cast<std::uint64_t>(c.hi) - static_cast<std::uint64_t>(c.lo);
    const std::uint64_t x = static_cast<std::uint64_t>(c.value) - static_cast<std::uint64_t>(c.lo);
    int bytes = 0;
    while (bytes < 8 && (range >> (8 * bytes)) > 0) ++bytes;
    for (int i = bytes - 1; i >= 0; --i)
      consumed.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
  }
  return {consumed.rbegin(), consumed.rend()};
}

// ---------------------------------------------------------------------------------------------
// Values.

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Mostly multiples of 0.5 in [-2, 2], so that generated solids touch, share vertices and
// overlap in common planes; now and then a value no mesh should ever hold.
inline float coordinate(Source& s) {
  switch (s.pick(0, 15)) {
    case 10:
      return kNaN;
    case 11:
      return s.oneIn(2) ? -kInf : kInf;
    case 12:
      return s.oneIn(2) ? -1e30f : 1e30f;
    case 13:
      return s.oneIn(2) ? -1e-30f : 1e-30f;
    case 14: {
      const auto bits = static_cast<std::uint32_t>(s.pick(0, 0xFFFFFFFFll));
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
    case 15: {
      constexpr float special[] = {std::numeric_limits<float>::max(),
                                   -std::numeric_limits<float>::max(),
                                   std::numeric_limits<float>::denorm_min(),
                                   -0.0f,
                                   1e19f,
                                   3.0e-7f};
      return special[s.pick(0, 5)];
    }
    default:
      return 0.5f * static_cast<float>(s.pick(-4, 4));
  }
}

inline Float3 point(Source& s) {
  return {coordinate(s), coordinate(s), coordinate(s)};
}

inline Float3 gridPoint(Source& s) {
  return {0.5f * float(s.pick(-4, 4)), 0.5f * float(s.pick(-4, 4)), 0.5f * float(s.pick(-4, 4))};
}

// A length near the one that fits, or far from it.
inline std::size_t lengthAround(Source& s, std::size_t fit, std::size_t max) {
  switch (s.pick(0, 5)) {
    case 0:
      return fit;
    case 1:
      return 0;
    case 2:
      return 1;
    case 3:
      return fit > 0 ? fit - 1 : 2;
    case 4:
      return fit + 1;
    default:
      return s.count(max);
  }
}

inline std::vector<Float3> vectors(Source& s, std::size_t n) {
  std::vector<Float3> v(n);
  for (Float3& x : v) x = s.oneIn(8) ? point(s) : Float3{0.25f * float(s.pick(0, 4)), 0.5f, 0};
  return v;
}

inline std::vector<std::int32_t> identifiers(Source& s, std::size_t n) {
  std::vector<std::int32_t> v(n);
  for (auto& x : v)
    x = static_cast<std::int32_t>(s.oneIn(16) ? s.pick(INT32_MIN, INT32_MAX) : s.pick(-3, 4));
  return v;
}

// ---------------------------------------------------------------------------------------------
// Meshes.

// Box from a grid corner with sides of 0.5 to 2.
inline HostMesh gridBox(Source& s) {
  const Float3 lo = gridPoint(s);
  const Float3 size{0.5f * float(s.pick(1, 4)), 0.5f * float(s.pick(1, 4)),
                    0.5f * float(s.pick(1, 4))};
  return test::box(lo, {lo.x + size.x, lo.y + size.y, lo.z + size.z});
}

inline HostMesh fromKnife(const test::Knife& k, Float3 at) {
  HostMesh m;
  for (const Float3& p : k.points) m.points.push_back({p.x + at.x, p.y + at.y, p.z + at.z});
  m.description = k.descriptor;
  return m;
}

// Quads split into triangles: the same surface with other edges.
inline HostMesh triangulated(const HostMesh& m) {
  HostMesh out{m.points, {}};
  std::vector<std::int32_t> poly;
  for (std::int32_t v : m.description) {
    if (v != -2) {
      poly.push_back(v);
      continue;
    }
    for (std::size_t i = 1; i + 1 < poly.size(); ++i) {
      out.description.insert(out.description.end(), {poly[0], poly[i], poly[i + 1], -2});
    }
    poly.clear();
  }
  return out;
}

// Description entries around n points: mostly indices, separators, now and then anything.
inline std::int32_t descriptionEntry(Source& s, std::size_t n) {
  switch (s.pick(0, 9)) {
    case 7:
      return -2;
    case 8:
      return static_cast<std::int32_t>(s.pick(-3, std::int64_t(n) + 2));
    case 9:
      return static_cast<std::int32_t>(s.pick(INT32_MIN, INT32_MAX));
    default:
      return n == 0 ? 0 : static_cast<std::int32_t>(s.pick(0, std::int64_t(n) - 1));
  }
}

inline HostMesh garbageMesh(Source& s, std::size_t maxPoints, std::size_t maxEntries) {
  HostMesh m;
  m.points.resize(s.count(maxPoints));
  for (Float3& p : m.points) p = s.oneIn(3) ? point(s) : gridPoint(s);
  if (s.oneIn(2)) {
    // Polygons of 1 to 6 vertices, each closed by -2.
    const std::size_t polygons = s.count(maxEntries / 4);
    for (std::size_t f = 0; f < polygons; ++f) {
      const std::size_t k = static_cast<std::size_t>(s.pick(1, 6));
      for (std::size_t i = 0; i < k; ++i)
        m.description.push_back(descriptionEntry(s, m.points.size()));
      m.description.push_back(-2);
    }
  } else {
    m.description.resize(s.count(maxEntries));
    for (auto& v : m.description) v = descriptionEntry(s, m.points.size());
  }
  return m;
}

// Mostly closed solids built to touch, overlap in common planes or share vertices; sometimes
// one of them damaged, sometimes nothing or garbage.
inline HostMesh solid(Source& s) {
  HostMesh m;
  switch (s.pick(0, 7)) {
    case 0:
      m = gridBox(s);
      break;
    case 1:
      m = triangulated(gridBox(s));
      break;
    case 2:
      m = fromKnife(s.oneIn(2) ? test::octahedron(0.5f * float(s.pick(1, 4)))
                               : test::tetrahedron(0.5f * float(s.pick(1, 4))),
                    gridPoint(s));
      break;
    case 3:  // two solids in one mesh: apart, touching, or overlapping (self-intersecting)
      m = gridBox(s);
      m.append(s.oneIn(2) ? gridBox(s) : triangulated(gridBox(s)));
      break;
    case 4:
      m = garbageMesh(s, 16, 64);
      break;
    case 5:
      break;  // nothing at all
    default: {
      m = gridBox(s);
      switch (s.pick(0, 5)) {
        case 0:
          m = test::inverted(m);
          break;
        case 1:
          m = test::withoutFace(m, static_cast<std::size_t>(s.pick(0, 5)));
          break;
        case 2:
          m.points[static_cast<std::size_t>(s.pick(0, 7))] = point(s);
          break;
        case 3:
          m.description[static_cast<std::size_t>(s.pick(0, 29))] = descriptionEntry(s, 8);
          break;
        case 4: {  // one face turned round
          HostMesh one = test::inverted(m);
          const std::size_t f = static_cast<std::size_t>(s.pick(0, 5));
          std::copy(one.description.begin() + 5 * f, one.description.begin() + 5 * f + 5,
                    m.description.begin() + 5 * f);
          break;
        }
        default:
          m.description.insert(m.description.end(), m.description.begin(),
                               m.description.begin() + 5);
          break;
      }
      break;
    }
  }
  return m;
}

inline std::size_t faceCount(const std::vector<std::int32_t>& d) {
  std::size_t n = 0;
  for (std::int32_t v : d) n += v == -2;
  return n;
}

// ---------------------------------------------------------------------------------------------
// Ports: the ways a graph can feed one. Array first: out of data, ports carry the array.

template <class T>
void connectShaped(Source& s, host::Host& h, std::uint32_t port, std::uint32_t type,
                   const std::vector<T>& values) {
  using host::SubArrayData;
  switch (s.pick(0, 9)) {
    case 6:
      h.disconnect(port);  // the port's default
      return;
    case 7:  // a single value
      if (values.empty()) {
        h.connectNoData(port);
      } else {
        h.connect(port, {type, false, {SubArrayData::of(std::span<const T>(values.data(), 1))}});
      }
      return;
    case 8:  // one value standing for every element
      if (!values.empty()) {
        h.connect(port, {type,
                         true,
                         {SubArrayData::constantOf(values.front(),
                                                   static_cast<std::uint32_t>(values.size()))}});
        return;
      }
      break;
    case 9: {  // more sub-arrays than the node reads
      std::vector<T> other(values.rbegin(), values.rend());
      h.connect(port, {type, true, {SubArrayData::of(values), SubArrayData::of(other)}});
      return;
    }
    default:
      break;
  }
  h.connect(port, {type, true, {SubArrayData::of(values)}});
}

inline void connectVector3(Source& s, host::Host& h, std::uint32_t port,
                           const std::vector<Float3>& v) {
  std::vector<host::Vec3f> raw(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) raw[i] = {v[i].x, v[i].y, v[i].z};
  connectShaped(s, h, port, XSI::siICENodeDataVector3, raw);
}
inline void connectLong(Source& s, host::Host& h, std::uint32_t port,
                        const std::vector<std::int32_t>& v) {
  connectShaped(s, h, port, XSI::siICENodeDataLong, v);
}
inline void connectFloat(Source& s, host::Host& h, std::uint32_t port,
                         const std::vector<float>& v) {
  connectShaped(s, h, port, XSI::siICENodeDataFloat, v);
}
inline void connectBool(Source& s, host::Host& h, std::uint32_t port,
                        const std::vector<std::uint8_t>& v) {
  connectShaped(s, h, port, XSI::siICENodeDataBool, v);
}

// Finite and far from overflowing when a node scales or interpolates them.
inline bool tame(float v) {
  return std::isfinite(v) && std::fabs(v) <= 1e6f;
}
inline bool tame(const std::vector<Float3>& v) {
  for (const Float3& x : v) {
    if (!tame(x.x) || !tame(x.y) || !tame(x.z)) return false;
  }
  return true;
}

// UVW and identifier ports: sometimes left alone, otherwise a length near the one that fits.
// Returns whether every value given is tame (true when none is given).
inline bool maybeUvw(Source& s, host::Host& h, std::uint32_t port, std::size_t corners) {
  if (s.oneIn(3)) return true;
  const std::vector<Float3> v = vectors(s, lengthAround(s, corners, 64));
  connectVector3(s, h, port, v);
  return tame(v);
}
inline void maybeIds(Source& s, host::Host& h, std::uint32_t port, std::size_t faces) {
  if (s.oneIn(3)) return;
  connectLong(s, h, port, identifiers(s, lengthAround(s, faces, 32)));
}

inline std::size_t cornerCount(const HostMesh& m) {
  return m.description.size() - faceCount(m.description);
}

// ---------------------------------------------------------------------------------------------
// Checks.

[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "\n==== fuzz invariant violated: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// What the node promised for this evaluation.
struct Promise {
  RecordRules rules;
  // The node logs its result's counts before publishing, so they must match the record.
  bool countsMatchRecord = true;
  // Output states other than a record or the empty output need a warning or an error.
  bool mayLeaveUnwritten = false;
  // Boolean: a published record with this warning is mesh A as given.
  const char* passThroughWarning = nullptr;
};

// The outcome of one run, as the seed writer tells runs apart.
inline std::string signature(const host::Host& h, std::uint32_t port) {
  std::string sig;
  switch (h.customOutput(port).state) {
    case host::OutputState::Unwritten:
      sig = "unwritten";
      break;
    case host::OutputState::Empty:
      sig = "empty";
      break;
    case host::OutputState::Data: {
      sig = "record";
      VastaTopoRecord r;
      if (h.customOutput(port).bytes.size() == sizeof r) {
        std::memcpy(&r, h.customOutput(port).bytes.data(), sizeof r);
        const std::size_t faces = faceCount(*r.polygons);
        sig += faces == 0 ? " no faces" : faces < 10 ? " few faces" : " faces";
        if (!r.uvw->empty()) sig += " uvw";
        if (!r.faceInfo->empty()) sig += " ids";
      }
      break;
    }
  }
  for (const host::LogLine& l : h.log()) {
    if (l.severity != 8) sig += "|" + l.text.substr(0, 36);
  }
  return sig;
}

inline void checkCalls(const host::Host& h) {
  if (!h.escapedExceptions().empty()) fail("exception escaped: " + h.escapedExceptions().front());
  if (h.unreleasedArraysTotal() != 0) fail("arrays left acquired");
  if (!h.failedAsserts().empty()) fail("failed assertion: " + h.failedAsserts().front().message);
  if (!h.sdkErrors().empty()) fail("SDK misuse: " + h.sdkErrors().front());
}

// Checks the evaluation of output port just made; aborts on any broken promise.
inline void checkEvaluation(const host::Host& h, std::uint32_t port, Promise promise) {
  checkCalls(h);
  bool passThrough = false, complained = false;
  std::vector<std::string> counts;
  for (const host::LogLine& l : h.log()) {
    // A verbose line only gives the reason right after the pass-through warning.
    const bool reason = l.severity == 16 && passThrough && l.text.rfind("ICE BOOLEAN: ", 0) == 0;
    if (l.severity != 2 && l.severity != 4 && l.severity != 8 && !reason) {
      fail("log line of severity " + std::to_string(l.severity) + ": " + l.text);
    }
    if (l.text.empty()) fail("empty log line");
    // The guards' text for an exception that no step of the node expected.
    if (l.text.find("internal error") != std::string::npos) fail("unexpected exception: " + l.text);
    if (l.severity == 8 && l.text.rfind("Total num of ", 0) == 0) counts.push_back(l.text);
    if (l.severity == 2 || l.severity == 4) complained = true;
    if (promise.passThroughWarning && l.text == promise.passThroughWarning) passThrough = true;
  }
  const host::CustomOutput& out = h.customOutput(port);
  if (out.state == host::OutputState::Unwritten) {
    if (!promise.mayLeaveUnwritten) fail("output left unwritten");
    if (!complained) fail("output left unwritten without a warning or an error");
  }
  if (out.state != host::OutputState::Data) {
    if (!counts.empty()) fail("count lines logged for an output that is not a record");
    return;
  }
  if (out.bytes.size() != sizeof(VastaTopoRecord)) {
    fail("record of " + std::to_string(out.bytes.size()) + " bytes");
  }
  VastaTopoRecord r;
  std::memcpy(&r, out.bytes.data(), sizeof r);
  RecordRules rules = promise.rules;
  if (passThrough) {
    rules.uvwPerCorner = false;
    rules.boundsRequired = false;
  }
  std::vector<std::string> violations;
  const RecordShape shape = test::checkRecord(r, rules, violations);
  if (!violations.empty()) fail("record: " + violations.front());
  if (passThrough) {
    if (!counts.empty()) fail("count lines logged for mesh A passed through");
    return;
  }
  if (counts.size() != 3) fail(std::to_string(counts.size()) + " count lines for a record");
  if (promise.countsMatchRecord) {
    if (counts[0] != "Total num of points:" + std::to_string(r.points->size()) ||
        counts[1] != "Total num of faces:" + std::to_string(shape.faces)) {
      fail("count lines '" + counts[0] + "', '" + counts[1] + "' do not describe the record");
    }
    if (shape.islands != 0 &&
        counts[2] != "Total num of PolyIslands:" + std::to_string(shape.islands)) {
      fail("'" + counts[2] + "' for " + std::to_string(shape.islands) + " island labels");
    }
  }
}

// UVW a node computes from tame values (carried, interpolated, or projected from the result's
// own points) must be finite, also on degenerate faces. Applies to published records that are
// not a pass-through.
inline void checkUvwFinite(const host::Host& h, std::uint32_t port,
                           const char* passThrough = nullptr) {
  const host::CustomOutput& out = h.customOutput(port);
  if (out.state != host::OutputState::Data || out.bytes.size() != sizeof(VastaTopoRecord)) return;
  for (const host::LogLine& l : h.log()) {
    if (passThrough && l.text == passThrough) return;
  }
  VastaTopoRecord r;
  std::memcpy(&r, out.bytes.data(), sizeof r);
  for (const Float3& p : *r.points) {
    if (std::fabs(p.x) > 1e20f || std::fabs(p.y) > 1e20f || std::fabs(p.z) > 1e20f) return;
  }
  for (std::size_t i = 0; i < r.uvw->size(); ++i) {
    const Float3& t = (*r.uvw)[i];
    if (!std::isfinite(t.x) || !std::isfinite(t.y) || !std::isfinite(t.z)) {
      fail("uvw[" + std::to_string(i) + "] is not finite although every input was");
    }
  }
}

// ---------------------------------------------------------------------------------------------
// The plug-in, loaded once for all runs.

inline host::Host& plugin(const char* node) {
  static host::Host h(std::string(TSL_PLUGIN_DIR) + "/" + node + ".so");
  return h;
}

// Forgets the previous run: connections, log; the store is emptied by begin-evaluate.
inline host::Host& freshRun(const char* node) {
  host::Host& h = plugin(node);
  h.disconnectAll();
  h.clearLog();
  return h;
}

// A request for a port the node does not publish on: it must return without a trace.
inline void evaluateOtherPort(Source& s, host::Host& h, std::uint32_t output) {
  std::uint32_t port = static_cast<std::uint32_t>(s.pick(0, 300));
  if (port == output) port = output + 1;
  const std::size_t lines = h.log().size();
  h.evaluate(port);
  if (h.log().size() != lines) fail("evaluating port " + std::to_string(port) + " logged");
  if (h.customOutput(port).state != host::OutputState::Unwritten)
    fail("port " + std::to_string(port) + " written");
}

// The seed writer: random runs, one per outcome not seen before, records first.
inline int writeSeeds(int argc, char** argv, const std::function<std::string(Source&)>& run) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR [SEEDS] [TRIES]\n", argv[0]);
    return 64;
  }
  const std::filesystem::path dir = argv[1];
  const std::size_t want = argc > 2 ? static_cast<std::size_t>(std::atoi(argv[2])) : 10;
  const int tries = argc > 3 ? std::atoi(argv[3]) : 3000;
  std::filesystem::create_directories(dir);

  struct Seed {
    std::string sig;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Seed> records, others;
  std::set<std::string> seen;
  for (int t = 1; t <= tries; ++t) {
    RandomSource random(static_cast<std::uint64_t>(t));
    const std::string sig = run(random);
    if (seen.count(sig)) continue;
    std::vector<std::uint8_t> bytes = encodeChoices(random.choices());
    // The bytes must replay the same choices.
    std::vector<Choice> replayed;
    BytesSource replay(bytes.data(), bytes.size(), &replayed);
    const std::string again = run(replay);
    bool same = replayed.size() == random.choices().size();
    for (std::size_t i = 0; same && i < replayed.size(); ++i) {
      same = replayed[i].value == random.choices()[i].value;
    }
    if (!same) {
      std::fprintf(stderr, "seed %d does not decode to the choices it was written from\n", t);
      return 1;
    }
    // The Voronoi jitter draws on rand(), so a replay may end differently; such a run is not
    // kept as a seed.
    if (again != sig) continue;
    seen.insert(sig);
    (sig.rfind("record", 0) == 0 ? records : others).push_back({sig, std::move(bytes)});
  }
  // Half the seeds publish a record (those reach furthest into the node), the rest are the
  // other outcomes.
  std::vector<Seed> keep;
  const std::size_t fromRecords = std::min(records.size(), (want + 1) / 2);
  keep.insert(keep.end(), records.begin(),
              records.begin() + static_cast<std::ptrdiff_t>(fromRecords));
  for (const Seed& o : others) {
    if (keep.size() < want) keep.push_back(o);
  }
  for (std::size_t i = fromRecords; i < records.size() && keep.size() < want; ++i) {
    keep.push_back(records[i]);
  }
  for (std::size_t i = 0; i < keep.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "seed-%02zu", i);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(keep[i].bytes.data()),
               static_cast<std::streamsize>(keep[i].bytes.size()));
    std::printf("%s  %5zu bytes  %s\n", name, keep[i].bytes.size(), keep[i].sig.c_str());
  }
  return 0;
}

}  // namespace tsl::fuzz

// Defines the fuzzer entry point (and, in the seed writer, main) around one run function
// std::string run(tsl::fuzz::Source&).
#ifdef TSL_FUZZ_SEEDS
#define TSL_FUZZ_TARGET(run)                                                          \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    tsl::fuzz::BytesSource s(data, size);                                             \
    run(s);                                                                           \
    return 0;                                                                         \
  }                                                                                   \
  int main(int argc, char** argv) {                                                   \
    return tsl::fuzz::writeSeeds(argc, argv, run);                                    \
  }
#else
#define TSL_FUZZ_TARGET(run)                                                          \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    tsl::fuzz::BytesSource s(data, size);                                             \
    run(s);                                                                           \
    return 0;                                                                         \
  }
#endif
