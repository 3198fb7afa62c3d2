// Host SDK stand-in: the application, logging and the node registration calls.
#pragma once

#include <memory>

#include "xsi_core.h"
#include "xsi_uitoolkit.h"

namespace host::detail {
struct NodeDefRecord;
struct PluginRecord;
}  // namespace host::detail

namespace XSI {

class ICENodeDef;

class XSI_API SIObject {
 public:
  virtual ~SIObject() = default;
  virtual CStatus PutName(const CString& name) = 0;
  virtual CString GetName() const = 0;
};

// Definition of one ICE node under construction. Copies share one definition.
class XSI_API ICENodeDef {
 public:
  ICENodeDef() = default;
  CStatus DefineCustomType(const CString& name, const CString& scriptName,
                           const CString& description, ULONG red, ULONG green, ULONG blue);
  CStatus PutColor(ULONG red, ULONG green, ULONG blue);
  CStatus PutThreadingModel(siICENodeThreadingModel model);
  CStatus AddPortGroup(ULONG groupId, ULONG minInstances, ULONG maxInstances,
                       const CString& scriptName);
  CStatus AddInputPort(ULONG portId, ULONG groupId, ULONG dataType, ULONG structureType,
                       ULONG contextType, const CString& name, const CString& scriptName,
                       const CValue& defaultValue, const CValue& minValue, const CValue& maxValue,
                       ULONG typeConstraintId, ULONG structureConstraintId,
                       ULONG contextConstraintId);
  // Output whose data type is given as a list of custom type names.
  CStatus AddOutputPort(ULONG portId, const CStringArray& customTypes, ULONG structureType,
                        ULONG contextType, const CString& name, const CString& scriptName,
                        ULONG typeConstraintId, ULONG structureConstraintId,
                        ULONG contextConstraintId);
  // Output of a built-in data type.
  CStatus AddOutputPort(ULONG portId, ULONG dataType, ULONG structureType, ULONG contextType,
                        const CString& name, const CString& scriptName, ULONG typeConstraintId,
                        ULONG structureConstraintId, ULONG contextConstraintId);

  // Stand-in only: the record the host face reads back.
  const std::shared_ptr<host::detail::NodeDefRecord>& Record() const { return record_; }

 private:
  friend class Factory;
  std::shared_ptr<host::detail::NodeDefRecord> record_;
};

class XSI_API Factory {
 public:
  // An invalid (empty) definition results when the host has no active registration.
  ICENodeDef CreateICENodeDef(const CString& name, const CString& displayName);
};

class XSI_API Application {
 public:
  Factory GetFactory() const { return Factory(); }
  UIToolkit GetUIToolkit() const { return UIToolkit(); }
  CStatus LogMessage(const CString& message, siSeverityType severity = siInfoMsg) const;
};

class XSI_API PluginItem {
 public:
  PluginItem() = default;
  CStatus PutCategories(const CString& categories);

 private:
  friend class PluginRegistrar;
  std::shared_ptr<host::detail::NodeDefRecord> record_;
};

// What a plug-in's XSILoadPlugin fills in and XSIUnloadPlugin reads back.
class XSI_API PluginRegistrar : public SIObject {
 public:
  explicit PluginRegistrar(host::detail::PluginRecord* record) : record_(record) {}
  CStatus PutName(const CString& name) override;
  CString GetName() const override;
  CStatus PutAuthor(const CString& author);
  CStatus PutVersion(LONG major, LONG minor);
  PluginItem RegisterICENode(const ICENodeDef& def);

 private:
  host::detail::PluginRecord* record_;
};

// Wraps the reference that the init and term callbacks receive.
class XSI_API Context {
 public:
  explicit Context(const CRef& ref) : ref_(ref) {}
  const CRef& GetRef() const { return ref_; }

 private:
  CRef ref_;
};

}  // namespace XSI
