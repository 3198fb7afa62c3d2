// The host face of the SDK stand-in: loads one plug-in .so and drives it as the real host would.
//
//   host::Host h("plugins/TSL_Combiner.so");     // dlopen + XSILoadPlugin
//   h.node().inputs ...                           // what the plug-in registered
//   h.connectVector3Array(0, points);             // unconnected ports deliver their default
//   h.connectLongArray(1, description);
//   h.beginEvaluate();
//   h.evaluate(202);                              // evaluate callback for output port 202
//   h.customOutput(202).state / .bytes            // what the callback published
//   h.log()                                       // (severity, text) lines of all calls so far
//   h.unload();                                   // XSIUnloadPlugin, then dlclose (or ~Host)
//
// Each call into the plug-in makes this host the current session of the SDK face on the calling
// thread, so log lines, failed assertions and misused SDK calls of that call land here. A host
// is driven from one thread at a time; several hosts may exist in one process, on one thread or
// on several at once (each has its own session). The library is closed when the host goes, on
// every path, a constructor that throws included.
//
// Errors: a plug-in that cannot be loaded throws LoadError. Misuse of this class (unknown port,
// wrong data type for a port, a callback the plug-in does not export) throws UsageError. Whatever
// the plug-in does wrong is recorded, never thrown: failed asserts, SDK misuse, exceptions that
// escaped a callback, arrays left acquired.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "host/records.h"
#include "xsi_core.h"
#include "xsi_icenodecontext.h"
#include "xsi_registration.h"

namespace host {

// The signatures of the exported entry points, as the host calls them.
using LoadPluginFn = XSI::CStatus (*)(XSI::PluginRegistrar&);
using UnloadPluginFn = XSI::CStatus (*)(const XSI::PluginRegistrar&);
using RefCallbackFn = XSI::CStatus (*)(XSI::CRef&);                // <node>_Init, <node>_Term
using ContextCallbackFn = XSI::CStatus (*)(XSI::ICENodeContext&);  // _BeginEvaluate, _Evaluate

class LoadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class UsageError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

using Vec3f = std::array<float, 3>;

// Raw elements of one sub-array: count elements in the port's element format (3-vector: three
// floats; long: int32; float; bool: one byte 0/1), or a single stored element standing for all
// count elements when constant.
struct SubArrayData {
  std::vector<std::byte> bytes;
  std::uint32_t count = 0;
  bool constant = false;

  template <class T>
  static SubArrayData of(std::span<const T> values) {
    static_assert(std::is_trivially_copyable_v<T>);
    SubArrayData s;
    s.bytes.resize(values.size_bytes());
    if (!values.empty()) std::memcpy(s.bytes.data(), values.data(), values.size_bytes());
    s.count = static_cast<std::uint32_t>(values.size());
    return s;
  }
  template <class T>
  static SubArrayData of(const std::vector<T>& values) {
    return of(std::span<const T>(values));
  }
  template <class T>
  static SubArrayData constantOf(const T& value, std::uint32_t count) {
    SubArrayData s = of(std::span<const T>(&value, 1));
    s.count = count;
    s.constant = true;
    return s;
  }
};

// What an input port is connected to. A single value has one sub-array of one element (or of
// none: a single value with no data); an array has one or more sub-arrays.
struct InputValue {
  std::uint32_t dataType = 0;  // must be the port's declared data type
  bool isArray = false;
  std::vector<SubArrayData> subArrays;
};

struct CallbackSet {
  bool init = false, term = false, beginEvaluate = false, evaluate = false;
};

class Host {
 public:
  // Loads the plug-in (dlopen RTLD_NOW | RTLD_LOCAL) and calls its XSILoadPlugin. Throws
  // LoadError when the file cannot be loaded or exports no XSILoadPlugin. A failing or throwing
  // XSILoadPlugin does not throw: see loadStatus() and escapedExceptions().
  explicit Host(const std::string& pluginPath);
  ~Host();  // unloads if still loaded
  Host(Host&&) noexcept;
  Host& operator=(Host&&) noexcept;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const std::string& path() const;
  XSI::CStatus loadStatus() const;
  const PluginDefinition& plugin() const;
  // The first registered node; the callbacks are looked up by its name. Throws UsageError when
  // the plug-in registered none.
  const NodeDefinition& node() const;
  CallbackSet callbacks() const;

  // Input connections, kept until changed; they feed every later callback.
  void connect(std::uint32_t port, InputValue value);
  void connectVector3Array(std::uint32_t port, std::span<const Vec3f> values);
  void connectLongArray(std::uint32_t port, std::span<const std::int32_t> values);
  void connectFloatArray(std::uint32_t port, std::span<const float> values);
  void connectBoolArray(std::uint32_t port, const std::vector<bool>& values);
  void connectVector3(std::uint32_t port, const Vec3f& value);
  void connectLong(std::uint32_t port, std::int32_t value);
  void connectFloat(std::uint32_t port, float value);
  void connectBool(std::uint32_t port, bool value);
  void connectNoData(std::uint32_t port);  // a single value carrying no data
  void disconnect(std::uint32_t port);     // back to delivering the port's default
  void disconnectAll();

  // Callbacks. Each returns the callback's status (CStatus::Unexpected when an exception escaped
  // it) and throws UsageError when the plug-in does not export it or is unloaded.
  XSI::CStatus init();
  XSI::CStatus term();
  XSI::CStatus beginEvaluate();
  // Resets the port's output to unwritten, then calls <node>_Evaluate for it.
  XSI::CStatus evaluate(std::uint32_t port);

  // Output of the latest evaluate call of the port (unwritten when there was none).
  const CustomOutput& customOutput(std::uint32_t port) const;
  const StringOutput& stringOutput(std::uint32_t port) const;
  // Element 0 of sub-array 0 of a string output, one byte per character; empty when absent.
  std::string stringOutputText(std::uint32_t port) const;

  // The plug-in's progress bar: listener hears every change as it happens, inside the
  // plug-in's call (an exception from it is recorded as an SDK error, never thrown into the
  // plug-in); pressed answers the plug-in's IsCancelPressed (false when not set). Either may
  // be empty. progress() is the bar as last set.
  void onProgress(std::function<void(const ProgressReport&)> listener);
  void onCancelQuery(std::function<bool()> pressed);
  const ProgressReport& progress() const;

  // What the plug-in did, accumulated over every call since load (log lines of XSIUnloadPlugin
  // and of the module's static destructors included).
  const std::vector<LogLine>& log() const;
  void clearLog();
  const std::vector<FailedAssert>& failedAsserts() const;
  const std::vector<std::string>& sdkErrors() const;
  const std::vector<std::string>& escapedExceptions() const;
  // Arrays that the latest begin-evaluate or evaluate left acquired, and the sum over all calls.
  std::size_t unreleasedArrays() const;
  std::size_t unreleasedArraysTotal() const;

  // Calls XSIUnloadPlugin (when exported) and then dlclose. Returns XSIUnloadPlugin's status;
  // a second call does nothing.
  XSI::CStatus unload();
  bool loaded() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
