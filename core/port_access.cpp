#include "core/port_access.h"

#include <algorithm>
#include <cstring>

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

}  // namespace

ULONG portStructure(ICENodeContext& ctx, ULONG port) {
  XSI::siICENodeDataType dt{};
  XSI::siICENodeStructureType st{};
  XSI::siICENodeContextType ct{};
  if (!ctx.GetPortInfo(port, dt, st, ct).Succeeded()) return 0;
  return st;
}

std::vector<Float3> readVector3Array(ICENodeContext& ctx, ULONG port) {
  static_assert(sizeof(Float3) == 12);
  return readArray<Float3>(ctx, XSI::siICENodeDataVector3, port);
}
std::vector<std::int32_t> readLongArray(ICENodeContext& ctx, ULONG port) {
  return readArray<std::int32_t>(ctx, XSI::siICENodeDataLong, port);
}
std::vector<float> readFloatArray(ICENodeContext& ctx, ULONG port) {
  return readArray<float>(ctx, XSI::siICENodeDataFloat, port);
}
std::vector<std::uint8_t> readBoolArray(ICENodeContext& ctx, ULONG port) {
  return readArray<std::uint8_t>(ctx, XSI::siICENodeDataBool, port);
}

std::optional<std::int32_t> readLongSingle(ICENodeContext& ctx, ULONG port) {
  return readSingle<std::int32_t>(ctx, XSI::siICENodeDataLong, port);
}
std::optional<float> readFloatSingle(ICENodeContext& ctx, ULONG port) {
  return readSingle<float>(ctx, XSI::siICENodeDataFloat, port);
}
std::optional<bool> readBoolSingle(ICENodeContext& ctx, ULONG port) {
  const auto v = readSingle<std::uint8_t>(ctx, XSI::siICENodeDataBool, port);
  if (!v) return std::nullopt;
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
