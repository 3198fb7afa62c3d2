// Host SDK stand-in: basic value types (status, strings, values, references, codes).
//
// The plug-ins compile against these declarations exactly as they would against the host's own
// SDK; the implementation lives in the shared library tsl_xsi, which the host face also uses.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define XSIPLUGINCALLBACK extern "C" __attribute__((visibility("default")))
// The SDK classes live in the shared library tsl_xsi; plug-ins are built with hidden visibility,
// so the classes must say that their out-of-line members come from outside.
#define XSI_API __attribute__((visibility("default")))

namespace XSI {

using LONG = std::int32_t;
using ULONG = std::uint32_t;

// Host codes. Only the values matter to the plug-ins; the names follow the host's.
enum siICENodeDataType : ULONG {
  siICENodeDataBool = 1,
  siICENodeDataLong = 2,
  siICENodeDataFloat = 4,
  siICENodeDataVector3 = 16,
  siICENodeDataCustomType = 65536,
  siICENodeDataString = 131072,
};
enum siICENodeStructureType : ULONG {
  siICENodeStructureSingle = 1,
  siICENodeStructureArray = 2,
  siICENodeStructureAny = 3,
};
enum siICENodeContextType : ULONG {
  siICENodeContextSingleton = 1,
};
enum siICENodeThreadingModel : ULONG {
  siICENodeSingleThreading = 0,
  siICENodeMultiThreading = 1,
};
enum siSeverityType : ULONG {
  siErrorMsg = 2,
  siWarningMsg = 4,
  siInfoMsg = 8,
  siVerboseMsg = 16,
};

class CString;

class XSI_API CStatus {
 public:
  enum Code : LONG {
    OK = 0,
    False = 1,
    Fail = -2147467259,
    InvalidArgument = -2147024809,
    MemoryOverflow = -2147024882,
    Unexpected = -2147418113
  };
  CStatus(Code code = OK) : code_(code) {}
  Code GetCode() const { return code_; }
  bool Succeeded() const { return code_ == OK || code_ == False; }
  // On failure the host records an assertion with the message (the stand-in never aborts).
  void AssertSucceeded(const CString& message) const;
  friend bool operator==(const CStatus& a, const CStatus& b) { return a.code_ == b.code_; }

 private:
  Code code_;
};

class XSI_API CString {
 public:
  CString() = default;
  CString(const char* ascii) { PutAsciiString(ascii); }
  CString(const std::string& ascii) { PutAsciiString(ascii.c_str()); }
  // Takes 8-bit text; each byte becomes one character.
  void PutAsciiString(const char* ascii);
  const char* GetAsciiString() const { return ascii_.c_str(); }
  const wchar_t* GetWideString() const { return wide_.c_str(); }
  ULONG Length() const { return static_cast<ULONG>(ascii_.size()); }
  bool IsEmpty() const { return ascii_.empty(); }
  friend CString operator+(const CString& a, const CString& b) {
    return CString(a.ascii_ + b.ascii_);
  }
  friend bool operator==(const CString& a, const CString& b) { return a.ascii_ == b.ascii_; }

 private:
  std::string ascii_;
  std::wstring wide_;
};

class XSI_API CStringArray {
 public:
  CStringArray() = default;
  void Add(const CString& s) { items_.push_back(s); }
  LONG GetCount() const { return static_cast<LONG>(items_.size()); }
  const CString& operator[](LONG i) const { return items_[static_cast<std::size_t>(i)]; }

 private:
  std::vector<CString> items_;
};

namespace MATH {
// Single-precision 3-vector, the element of 3-vector data arrays (12 bytes: x, y, z).
class XSI_API CVector3f {
 public:
  CVector3f() = default;
  CVector3f(float x, float y, float z) : x_(x), y_(y), z_(z) {}
  float GetX() const { return x_; }
  float GetY() const { return y_; }
  float GetZ() const { return z_; }

 private:
  float x_ = 0.0f, y_ = 0.0f, z_ = 0.0f;
};
}  // namespace MATH

// A tagged value as used for port defaults and limits.
class XSI_API CValue {
 public:
  enum DataType : ULONG {
    siEmpty = 0,
    siInt4 = 3,
    siFloat = 4,
    siDouble = 5,
    siBool = 11,
    siString = 8,
    siVector3f = 100
  };
  CValue() = default;
  CValue(LONG v) : type_(siInt4), i_(v) {}
  CValue(float v) : type_(siFloat), d_(v) {}
  CValue(double v) : type_(siDouble), d_(v) {}
  CValue(bool v) : type_(siBool), i_(v ? 1 : 0) {}
  CValue(const MATH::CVector3f& v) : type_(siVector3f), v_(v) {}
  DataType GetType() const { return type_; }
  bool IsEmpty() const { return type_ == siEmpty; }
  LONG GetInt() const { return i_; }
  double GetDouble() const { return d_; }
  bool GetBool() const { return i_ != 0; }
  const MATH::CVector3f& GetVector3f() const { return v_; }

 private:
  DataType type_ = siEmpty;
  LONG i_ = 0;
  double d_ = 0.0;
  MATH::CVector3f v_;
};

// Opaque reference to a host object (the init and term callbacks receive one).
class XSI_API CRef {
 public:
  CRef() = default;
  explicit CRef(void* object) : object_(object) {}
  void* GetObject() const { return object_; }

 private:
  void* object_ = nullptr;
};

}  // namespace XSI
