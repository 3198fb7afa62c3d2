// Host face: loads a plug-in with dlopen and drives it through the SDK face's state.
#include "host/host.h"

#include <dlfcn.h>

#include <map>
#include <utility>

#include "detail.h"

namespace host {
namespace {

// Makes a session current for the duration of one call into the plug-in.
class SessionScope {
 public:
  explicit SessionScope(detail::Session* s) : previous_(detail::exchangeSession(s)) {}
  ~SessionScope() { detail::exchangeSession(previous_); }
  SessionScope(const SessionScope&) = delete;
  SessionScope& operator=(const SessionScope&) = delete;

 private:
  detail::Session* previous_;
};

std::string dlerrorText() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}

const char* kCallbackSuffix[] = {"_Init", "_Term", "_BeginEvaluate", "_Evaluate"};
enum CallbackIndex { kInit, kTerm, kBegin, kEvaluate, kCallbackCount };

}  // namespace

struct Host::Impl {
  std::string path;
  void* handle = nullptr;
  detail::Session session;
  detail::PluginRecord record;
  XSI::PluginRegistrar registrar{&record};
  XSI::CStatus loadStatus;
  PluginDefinition definition;
  void* callbacks[kCallbackCount] = {};
  std::string callbackNames[kCallbackCount];
  UnloadPluginFn unloadFn = nullptr;

  std::map<std::uint32_t, std::shared_ptr<const detail::InputData>> connections;
  std::map<std::uint32_t, detail::OutputData> outputs;
  std::vector<std::string> escaped;
  std::size_t unreleased = 0, unreleasedTotal = 0;
  int refTarget = 0;  // what the CRef of init and term points at

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  // The library goes with the host on every path, also when the constructor throws after it
  // was opened.
  ~Impl() {
    try {
      unload();
    } catch (...) {
      if (handle) dlclose(handle);
    }
  }

  // Runs fn, turning an escaping exception into a record and CStatus::Unexpected.
  template <class F>
  XSI::CStatus shielded(const std::string& what, F&& fn) {
    try {
      return fn();
    } catch (const std::exception& e) {
      escaped.push_back(what + " threw: " + e.what());
    } catch (...) {
      escaped.push_back(what + " threw an exception not derived from std::exception");
    }
    return XSI::CStatus::Unexpected;
  }

  const NodeDefinition& node() const {
    if (definition.nodes.empty()) throw UsageError("plug-in '" + path + "' registered no node");
    return definition.nodes.front();
  }

  const InputPortDef& input(std::uint32_t port) const {
    const InputPortDef* p = node().findInput(port);
    if (!p) throw UsageError("node " + node().name + " has no input port " + std::to_string(port));
    return *p;
  }

  void requireLoaded(const char* what) const {
    if (!handle) throw UsageError(std::string(what) + ": plug-in '" + path + "' is unloaded");
  }

  void* callback(CallbackIndex which) const {
    requireLoaded("callback");
    if (!callbacks[which])
      throw UsageError(
          "plug-in '" + path + "' exports no " +
          (definition.nodes.empty() ? std::string("node callbacks") : callbackNames[which]));
    return callbacks[which];
  }

  XSI::CStatus runRef(CallbackIndex which) {
    auto fn = reinterpret_cast<RefCallbackFn>(callback(which));
    SessionScope scope(&session);
    XSI::CRef ref(&refTarget);
    return shielded(callbackNames[which], [&] { return fn(ref); });
  }

  XSI::CStatus runContext(CallbackIndex which, std::uint32_t port, bool evaluate) {
    auto fn = reinterpret_cast<ContextCallbackFn>(callback(which));
    detail::EvalState state;
    state.node = &node();
    state.connections = connections;
    state.outputs = &outputs;
    state.evaluatedPort = port;
    state.canWriteOutput = evaluate;
    if (evaluate) outputs.erase(port);
    XSI::CStatus status;
    {
      SessionScope scope(&session);
      XSI::ICENodeContext context(&state);
      status = shielded(callbackNames[which], [&] { return fn(context); });
    }
    unreleased = state.arrays.size();
    unreleasedTotal += unreleased;
    return status;
  }

  XSI::CStatus unload() {
    if (!handle) return XSI::CStatus::OK;
    XSI::CStatus status;
    SessionScope scope(&session);
    if (unloadFn) {
      const XSI::PluginRegistrar& reg = registrar;
      status = shielded("XSIUnloadPlugin", [&] { return unloadFn(reg); });
    }
    // Still inside the session: the module's static destructors may log.
    dlclose(handle);
    handle = nullptr;
    for (auto& c : callbacks) c = nullptr;
    unloadFn = nullptr;
    return status;
  }
};

Host::Host(const std::string& pluginPath) : impl_(std::make_unique<Impl>()) {
  Impl& m = *impl_;
  m.path = pluginPath;
  // Without a slash dlopen would search the library path instead of opening the file named.
  const std::string openPath =
      pluginPath.find('/') == std::string::npos ? "./" + pluginPath : pluginPath;
  dlerror();
  m.handle = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!m.handle) throw LoadError("cannot load plug-in '" + pluginPath + "': " + dlerrorText());

  dlerror();
  void* load = dlsym(m.handle, "XSILoadPlugin");
  if (!load) {
    const std::string why = dlerrorText();
    throw LoadError("'" + pluginPath + "' is not a plug-in: it exports no XSILoadPlugin (" + why +
                    ")");
  }
  m.unloadFn = reinterpret_cast<UnloadPluginFn>(dlsym(m.handle, "XSIUnloadPlugin"));

  {
    SessionScope scope(&m.session);
    m.session.registration = &m.record;
    m.loadStatus = m.shielded("XSILoadPlugin",
                              [&] { return reinterpret_cast<LoadPluginFn>(load)(m.registrar); });
    m.session.registration = nullptr;
  }

  m.definition.name = m.record.name;
  m.definition.author = m.record.author;
  m.definition.version = m.record.version;
  for (const auto& node : m.record.nodes) m.definition.nodes.push_back(node->def);

  if (!m.definition.nodes.empty()) {
    for (int i = 0; i < kCallbackCount; ++i) {
      m.callbackNames[i] = m.definition.nodes.front().name + kCallbackSuffix[i];
      m.callbacks[i] = dlsym(m.handle, m.callbackNames[i].c_str());
    }
  }
}

Host::~Host() = default;
Host::Host(Host&&) noexcept = default;
Host& Host::operator=(Host&&) noexcept = default;

const std::string& Host::path() const {
  return impl_->path;
}
XSI::CStatus Host::loadStatus() const {
  return impl_->loadStatus;
}
const PluginDefinition& Host::plugin() const {
  return impl_->definition;
}
const NodeDefinition& Host::node() const {
  return impl_->node();
}

CallbackSet Host::callbacks() const {
  const auto& c = impl_->callbacks;
  return {c[kInit] != nullptr, c[kTerm] != nullptr, c[kBegin] != nullptr, c[kEvaluate] != nullptr};
}

void Host::connect(std::uint32_t port, InputValue value) {
  const InputPortDef& def = impl_->input(port);
  const std::string where = "input port " + std::to_string(port) + " (" + def.name + ")";
  if (value.dataType != def.dataType)
    throw UsageError(where + " has data type " + std::to_string(def.dataType) + ", not " +
                     std::to_string(value.dataType));
  const std::size_t size = detail::elementSize(value.dataType);
  if (size == 0)
    throw UsageError(where + ": the stand-in cannot deliver data type " +
                     std::to_string(value.dataType));
  if (value.subArrays.empty()) throw UsageError(where + ": a value needs at least one sub-array");
  if (!value.isArray &&
      (value.subArrays.size() != 1 || value.subArrays[0].count > 1 || value.subArrays[0].constant))
    throw UsageError(where + ": a single value is one sub-array of at most one element");
  for (const auto& sub : value.subArrays) {
    // A constant sub-array stores its one element (none only when it has no elements at all).
    const std::size_t expected = sub.constant ? size : std::size_t(sub.count) * size;
    const bool ok =
        sub.bytes.size() == expected || (sub.constant && sub.count == 0 && sub.bytes.empty());
    if (!ok)
      throw UsageError(where + ": " + std::to_string(sub.bytes.size()) + " bytes for " +
                       std::to_string(sub.count) + (sub.constant ? " constant" : "") +
                       " elements of " + std::to_string(size) + " bytes");
  }
  auto data = std::make_shared<detail::InputData>();
  data->dataType = value.dataType;
  data->structure = value.isArray ? XSI::siICENodeStructureArray : XSI::siICENodeStructureSingle;
  for (auto& sub : value.subArrays)
    data->subArrays.push_back({std::move(sub.bytes), sub.count, sub.constant});
  impl_->connections[port] = std::move(data);
}

namespace {
template <class T>
InputValue arrayValue(std::uint32_t type, std::span<const T> values) {
  return {type, true, {SubArrayData::of(values)}};
}
template <class T>
InputValue singleValue(std::uint32_t type, const T& value) {
  return {type, false, {SubArrayData::of(std::span<const T>(&value, 1))}};
}
}  // namespace

void Host::connectVector3Array(std::uint32_t port, std::span<const Vec3f> values) {
  static_assert(sizeof(Vec3f) == 12);
  connect(port, arrayValue(XSI::siICENodeDataVector3, values));
}
void Host::connectLongArray(std::uint32_t port, std::span<const std::int32_t> values) {
  connect(port, arrayValue(XSI::siICENodeDataLong, values));
}
void Host::connectFloatArray(std::uint32_t port, std::span<const float> values) {
  connect(port, arrayValue(XSI::siICENodeDataFloat, values));
}
void Host::connectBoolArray(std::uint32_t port, const std::vector<bool>& values) {
  std::vector<std::uint8_t> bytes(values.begin(), values.end());
  connect(port, arrayValue(XSI::siICENodeDataBool, std::span<const std::uint8_t>(bytes)));
}
void Host::connectVector3(std::uint32_t port, const Vec3f& value) {
  connect(port, singleValue(XSI::siICENodeDataVector3, value));
}
void Host::connectLong(std::uint32_t port, std::int32_t value) {
  connect(port, singleValue(XSI::siICENodeDataLong, value));
}
void Host::connectFloat(std::uint32_t port, float value) {
  connect(port, singleValue(XSI::siICENodeDataFloat, value));
}
void Host::connectBool(std::uint32_t port, bool value) {
  connect(port, singleValue(XSI::siICENodeDataBool, std::uint8_t(value ? 1 : 0)));
}
void Host::connectNoData(std::uint32_t port) {
  connect(port, InputValue{impl_->input(port).dataType, false, {SubArrayData{}}});
}
void Host::disconnect(std::uint32_t port) {
  impl_->input(port);
  impl_->connections.erase(port);
}
void Host::disconnectAll() {
  impl_->connections.clear();
}

XSI::CStatus Host::init() {
  return impl_->runRef(kInit);
}
XSI::CStatus Host::term() {
  return impl_->runRef(kTerm);
}
XSI::CStatus Host::beginEvaluate() {
  // No output port is evaluated in begin-evaluate; reading inputs is allowed.
  return impl_->runContext(kBegin, 0xFFFFFFFFu, false);
}
XSI::CStatus Host::evaluate(std::uint32_t port) {
  return impl_->runContext(kEvaluate, port, true);
}

const CustomOutput& Host::customOutput(std::uint32_t port) const {
  static const CustomOutput unwritten;
  auto it = impl_->outputs.find(port);
  return it == impl_->outputs.end() ? unwritten : it->second.custom;
}

const StringOutput& Host::stringOutput(std::uint32_t port) const {
  static const StringOutput none;
  auto it = impl_->outputs.find(port);
  return it == impl_->outputs.end() ? none : it->second.strings;
}

std::string Host::stringOutputText(std::uint32_t port) const {
  const auto& subs = stringOutput(port).subArrays;
  if (subs.empty() || subs[0].empty()) return {};
  std::string text;
  for (wchar_t c : subs[0][0]) text.push_back(static_cast<char>(c));
  return text;
}

void Host::onProgress(std::function<void(const ProgressReport&)> listener) {
  impl_->session.progressListener = std::move(listener);
}
void Host::onCancelQuery(std::function<bool()> pressed) {
  impl_->session.cancelQuery = std::move(pressed);
}
const ProgressReport& Host::progress() const {
  return impl_->session.progress;
}

const std::vector<LogLine>& Host::log() const {
  return impl_->session.log;
}
void Host::clearLog() {
  impl_->session.log.clear();
}
const std::vector<FailedAssert>& Host::failedAsserts() const {
  return impl_->session.failedAsserts;
}
const std::vector<std::string>& Host::sdkErrors() const {
  return impl_->session.sdkErrors;
}
const std::vector<std::string>& Host::escapedExceptions() const {
  return impl_->escaped;
}
std::size_t Host::unreleasedArrays() const {
  return impl_->unreleased;
}
std::size_t Host::unreleasedArraysTotal() const {
  return impl_->unreleasedTotal;
}

XSI::CStatus Host::unload() {
  return impl_->unload();
}
bool Host::loaded() const {
  return impl_->handle != nullptr;
}

}  // namespace host
