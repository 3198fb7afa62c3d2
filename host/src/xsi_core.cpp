// SDK face: strings, status assertions, logging and the current session.
#include <cstdio>

#include "detail.h"
#include "xsi_core.h"
#include "xsi_registration.h"

namespace host::detail {
namespace {
// A host drives its plug-in from one thread, and the calls a plug-in makes during a callback
// come on that thread: per thread, the session of the host calling in. Hosts on other threads
// have their own, so no lock.
thread_local Session* g_session = nullptr;
}  // namespace

Session* exchangeSession(Session* session) {
  Session* previous = g_session;
  g_session = session;
  return previous;
}

Session* currentSession() {
  return g_session;
}

void reportSdkError(const std::string& message) {
  if (g_session) {
    try {
      g_session->sdkErrors.push_back(message);
      return;
    } catch (...) {
      // Out of memory while recording: fall through to stderr rather than throw into a plug-in.
    }
  }
  std::fprintf(stderr, "[sdk] %s\n", message.c_str());
}

}  // namespace host::detail

namespace XSI {

void CString::PutAsciiString(const char* ascii) {
  ascii_ = ascii ? ascii : "";
  wide_.resize(ascii_.size());
  for (std::size_t i = 0; i < ascii_.size(); ++i)
    wide_[i] = static_cast<wchar_t>(static_cast<unsigned char>(ascii_[i]));
}

void CStatus::AssertSucceeded(const CString& message) const {
  if (Succeeded()) return;
  if (auto* session = host::detail::currentSession()) {
    try {
      session->failedAsserts.push_back({code_, message.GetAsciiString()});
      return;
    } catch (...) {
    }
  }
  std::fprintf(stderr, "[assert] status %d: %s\n", static_cast<int>(code_),
               message.GetAsciiString());
}

CStatus Application::LogMessage(const CString& message, siSeverityType severity) const {
  if (auto* session = host::detail::currentSession()) {
    try {
      session->log.push_back({static_cast<std::uint32_t>(severity), message.GetAsciiString()});
      return CStatus::OK;
    } catch (...) {
      return CStatus::MemoryOverflow;
    }
  }
  std::fprintf(stderr, "[%u] %s\n", static_cast<unsigned>(severity), message.GetAsciiString());
  return CStatus::OK;
}

}  // namespace XSI
