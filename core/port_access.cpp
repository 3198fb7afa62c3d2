#include "core/port_access.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace tsl {
namespace {

using XSI::CDataArrayRef;
using XSI::ICENodeContext;
using XSI::siICENodeDataType;
using XSI::ULONG;

class InputArray {
 public:
  InputArray(ICENodeContext& ctx, siICENodeDataType type, ULONG port, bool twoD) : ctx_(ctx) {
    const XSI::CStatus st = twoD ? ctx.AcquireInputDataArray2D(ref_, type, port, 0)
                                 : ctx.AcquireInputDataArray(ref_, type, port, 0);
    acquired_ = ref_.handle != nullptr;
    ok_ = st.Succeeded() && acquired_;
  }
  InputArray(const InputArray&) = delete;
  InputArray& operator=(const InputArray&) = delete;
  ~InputArray() {
    if (acquired_) ctx_.ReleaseDataArray(ref_);
  }

  template <class T>
  std::vector<T> subArray0() const {
    std::vector<T> out;
    if (!ok_ || ctx_.GetSubArrayCount(ref_) == 0) return out;
    const void* data = nullptr;
    ULONG count = 0;
    bool constant = false;
    if (!ctx_.GetSubArray(ref_, 0, data, count, constant).Succeeded() || data == nullptr) {
      return out;
    }
    out.resize(count);
    const T* elems = static_cast<const T*>(data);
    if (constant) {
      std::fill(out.begin(), out.end(), elems[0]);
    } else if (count > 0) {
      std::memcpy(out.data(), elems, count * sizeof(T));
    }
    return out;
  }

  template <class T>
  std::optional<T> element0() const {
    if (!ok_) return std::nullopt;
    const void* data = nullptr;
    ULONG count = 0;
    if (!ctx_.GetData(ref_, data, count).Succeeded() || data == nullptr || count == 0) {
      return std::nullopt;
    }
    T value;
    std::memcpy(&value, data, sizeof(T));
    return value;
  }

 private:
  ICENodeContext& ctx_;
  CDataArrayRef ref_;
  bool acquired_ = false;
  bool ok_ = false;
};

template <class T>
std::vector<T> readArray(ICENodeContext& ctx, siICENodeDataType type, ULONG port) {
  InputArray a(ctx, type, port, true);
  return a.subArray0<T>();
}

template <class T>
std::optional<T> readSingle(ICENodeContext& ctx, siICENodeDataType type, ULONG port) {
  InputArray a(ctx, type, port, false);
  return a.element0<T>();
}

// A single value's element, or the first entry of an array.
template <class T>
std::optional<T> readFirst(Ports& ports, siICENodeDataType type, ULONG port) {
  if (ports.isSingle(port)) return readSingle<T>(ports.context(), type, port);
  const std::vector<T> values = readArray<T>(ports.context(), type, port);
  if (values.empty()) return std::nullopt;
  return values.front();
}

}  // namespace

bool Ports::isSingle(ULONG port) {
  XSI::siICENodeDataType dt{};
  XSI::siICENodeStructureType st{};
  XSI::siICENodeContextType ct{};
  return ctx_.GetPortInfo(port, dt, st, ct).Succeeded() && st == XSI::siICENodeStructureSingle;
}

bool Ports::anySingle(std::initializer_list<ULONG> ports) {
  for (ULONG port : ports) {
    if (isSingle(port)) return true;
  }
  return false;
}

std::vector<Float3> Ports::vector3Array(ULONG port) {
  static_assert(sizeof(Float3) == 12);
  return readArray<Float3>(ctx_, XSI::siICENodeDataVector3, port);
}

std::vector<std::int32_t> Ports::longArray(ULONG port) {
  return readArray<std::int32_t>(ctx_, XSI::siICENodeDataLong, port);
}

MeshArrays Ports::mesh(ULONG points, ULONG description, ULONG uvw, ULONG faceId) {
  MeshArrays m;
  m.points = vector3Array(points);
  m.description = longArray(description);
  m.uvwIsArray = !isSingle(uvw);
  if (m.uvwIsArray) m.uvw = vector3Array(uvw);
  m.idsIsArray = !isSingle(faceId);
  m.ids = longValues(faceId);
  return m;
}

std::vector<std::int32_t> Ports::longValues(ULONG port) {
  if (!isSingle(port)) return longArray(port);
  std::vector<std::int32_t> one;
  if (const auto v = readSingle<std::int32_t>(ctx_, XSI::siICENodeDataLong, port)) {
    one.push_back(*v);
  }
  return one;
}

std::int32_t Ports::longOption(ULONG port, std::int32_t fallback) {
  return readFirst<std::int32_t>(*this, XSI::siICENodeDataLong, port).value_or(fallback);
}

float Ports::floatOption(ULONG port, float fallback) {
  return readFirst<float>(*this, XSI::siICENodeDataFloat, port).value_or(fallback);
}

bool Ports::boolOption(ULONG port, bool fallback) {
  const auto v = readFirst<std::uint8_t>(*this, XSI::siICENodeDataBool, port);
  if (!v) return fallback;
  return (*v & 1u) != 0;
}

OutputArray::OutputArray(ICENodeContext& ctx, ULONG dataType, bool twoD) : ctx_(ctx) {
  const auto type = static_cast<siICENodeDataType>(dataType);
  if (twoD) {
    ctx.AcquireOutputDataArray2D(ref_, type);
  } else {
    ctx.AcquireOutputDataArray(ref_, type);
  }
  acquired_ = ref_.handle != nullptr;
}

OutputArray::~OutputArray() {
  if (acquired_) ctx_.ReleaseDataArray(ref_);
}

}  // namespace tsl
