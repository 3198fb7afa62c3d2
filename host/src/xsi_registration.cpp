// SDK face: node registration. Every call records its arguments as passed, also when it then
// reports a failure, so a definition that the host would reject can still be inspected.
#include <new>

#include "detail.h"
#include "xsi_registration.h"

namespace XSI {
namespace {

using host::detail::NodeDefRecord;

std::string ascii(const CString& s) {
  return s.GetAsciiString();
}

bool portIdTaken(const host::NodeDefinition& def, ULONG id) {
  return def.findInput(id) != nullptr || def.findOutput(id) != nullptr;
}

bool groupDeclared(const host::NodeDefinition& def, ULONG id) {
  for (const auto& g : def.portGroups)
    if (g.id == id) return true;
  return false;
}

bool customTypeDeclared(const host::NodeDefinition& def, const std::string& name) {
  for (const auto& t : def.customTypes)
    if (t.name == name) return true;
  return false;
}

// Runs a recording step, turning a failed allocation into a status instead of an exception that
// would cross into the plug-in.
template <class F>
CStatus record(const std::shared_ptr<NodeDefRecord>& rec, const char* call, F&& f) {
  if (!rec) {
    host::detail::reportSdkError(std::string("ICENodeDef::") + call +
                                 ": the definition is invalid (created outside XSILoadPlugin)");
    return CStatus::Fail;
  }
  try {
    return f(rec->def);
  } catch (const std::bad_alloc&) {
    return CStatus::MemoryOverflow;
  }
}

// Runs a registrar step on the plug-in's record, Fail when the registrar has none; a failed
// allocation becomes a status, as in record.
template <class F>
CStatus put(host::detail::PluginRecord* rec, F&& f) {
  if (!rec) return CStatus::Fail;
  try {
    f(*rec);
  } catch (const std::bad_alloc&) {
    return CStatus::MemoryOverflow;
  }
  return CStatus::OK;
}

}  // namespace

CStatus ICENodeDef::DefineCustomType(const CString& name, const CString& scriptName,
                                     const CString& description, ULONG red, ULONG green,
                                     ULONG blue) {
  return record(record_, "DefineCustomType", [&](host::NodeDefinition& def) -> CStatus {
    const bool duplicate = customTypeDeclared(def, ascii(name));
    def.customTypes.push_back(
        {ascii(name), ascii(scriptName), ascii(description), {red, green, blue}});
    if (name.IsEmpty() || duplicate) return CStatus::InvalidArgument;
    return CStatus::OK;
  });
}

CStatus ICENodeDef::PutColor(ULONG red, ULONG green, ULONG blue) {
  return record(record_, "PutColor", [&](host::NodeDefinition& def) -> CStatus {
    def.color = host::Rgb{red, green, blue};
    return CStatus::OK;
  });
}

CStatus ICENodeDef::PutThreadingModel(siICENodeThreadingModel model) {
  return record(record_, "PutThreadingModel", [&](host::NodeDefinition& def) -> CStatus {
    def.threadingModel = static_cast<std::uint32_t>(model);
    return CStatus::OK;
  });
}

CStatus ICENodeDef::AddPortGroup(ULONG groupId, ULONG minInstances, ULONG maxInstances,
                                 const CString& scriptName) {
  return record(record_, "AddPortGroup", [&](host::NodeDefinition& def) -> CStatus {
    const bool duplicate = groupDeclared(def, groupId);
    def.portGroups.push_back({groupId, minInstances, maxInstances, ascii(scriptName)});
    if (duplicate || minInstances > maxInstances) return CStatus::InvalidArgument;
    return CStatus::OK;
  });
}

CStatus ICENodeDef::AddInputPort(ULONG portId, ULONG groupId, ULONG dataType, ULONG structureType,
                                 ULONG contextType, const CString& name, const CString& scriptName,
                                 const CValue& defaultValue, const CValue& minValue,
                                 const CValue& maxValue, ULONG typeConstraintId,
                                 ULONG structureConstraintId, ULONG contextConstraintId) {
  return record(record_, "AddInputPort", [&](host::NodeDefinition& def) -> CStatus {
    const bool duplicate = portIdTaken(def, portId);
    const bool knownGroup = groupDeclared(def, groupId);
    def.inputs.push_back({portId, groupId, dataType, structureType, contextType, ascii(name),
                          ascii(scriptName), defaultValue, minValue, maxValue, typeConstraintId,
                          structureConstraintId, contextConstraintId});
    if (duplicate || !knownGroup) return CStatus::InvalidArgument;
    return CStatus::OK;
  });
}

CStatus ICENodeDef::AddOutputPort(ULONG portId, const CStringArray& customTypes,
                                  ULONG structureType, ULONG contextType, const CString& name,
                                  const CString& scriptName, ULONG typeConstraintId,
                                  ULONG structureConstraintId, ULONG contextConstraintId) {
  return record(record_, "AddOutputPort", [&](host::NodeDefinition& def) -> CStatus {
    const bool duplicate = portIdTaken(def, portId);
    std::vector<std::string> types;
    bool allDeclared = customTypes.GetCount() > 0;
    for (LONG i = 0; i < customTypes.GetCount(); ++i) {
      types.push_back(ascii(customTypes[i]));
      allDeclared = allDeclared && customTypeDeclared(def, types.back());
    }
    def.outputs.push_back({portId, siICENodeDataCustomType, std::move(types), structureType,
                           contextType, ascii(name), ascii(scriptName), typeConstraintId,
                           structureConstraintId, contextConstraintId});
    if (duplicate || !allDeclared) return CStatus::InvalidArgument;
    return CStatus::OK;
  });
}

CStatus ICENodeDef::AddOutputPort(ULONG portId, ULONG dataType, ULONG structureType,
                                  ULONG contextType, const CString& name, const CString& scriptName,
                                  ULONG typeConstraintId, ULONG structureConstraintId,
                                  ULONG contextConstraintId) {
  return record(record_, "AddOutputPort", [&](host::NodeDefinition& def) -> CStatus {
    const bool duplicate = portIdTaken(def, portId);
    def.outputs.push_back({portId,
                           dataType,
                           {},
                           structureType,
                           contextType,
                           ascii(name),
                           ascii(scriptName),
                           typeConstraintId,
                           structureConstraintId,
                           contextConstraintId});
    return duplicate ? CStatus::InvalidArgument : CStatus::OK;
  });
}

ICENodeDef Factory::CreateICENodeDef(const CString& name, const CString& displayName) {
  ICENodeDef def;
  auto* session = host::detail::currentSession();
  if (!session || !session->registration) {
    host::detail::reportSdkError("Factory::CreateICENodeDef(\"" + ascii(name) +
                                 "\"): no plug-in is being registered");
    return def;
  }
  try {
    def.record_ = std::make_shared<NodeDefRecord>();
    def.record_->def.name = ascii(name);
    def.record_->def.displayName = ascii(displayName);
  } catch (const std::bad_alloc&) {
    def.record_.reset();
  }
  return def;
}

CStatus PluginItem::PutCategories(const CString& categories) {
  if (!record_) {
    host::detail::reportSdkError("PluginItem::PutCategories: the item is invalid");
    return CStatus::Fail;
  }
  try {
    record_->def.categories.push_back(ascii(categories));
  } catch (const std::bad_alloc&) {
    return CStatus::MemoryOverflow;
  }
  return CStatus::OK;
}

CStatus PluginRegistrar::PutName(const CString& name) {
  return put(record_, [&](host::detail::PluginRecord& p) { p.name = ascii(name); });
}

CString PluginRegistrar::GetName() const {
  return record_ ? CString(record_->name) : CString();
}

CStatus PluginRegistrar::PutAuthor(const CString& author) {
  return put(record_, [&](host::detail::PluginRecord& p) { p.author = ascii(author); });
}

CStatus PluginRegistrar::PutVersion(LONG major, LONG minor) {
  return put(record_, [&](host::detail::PluginRecord& p) {
    p.version = std::pair<std::int32_t, std::int32_t>(major, minor);
  });
}

PluginItem PluginRegistrar::RegisterICENode(const ICENodeDef& def) {
  PluginItem item;
  const auto& rec = def.Record();
  if (!record_ || !rec) {
    host::detail::reportSdkError("PluginRegistrar::RegisterICENode: the definition is invalid");
    return item;
  }
  if (rec->def.registered) {
    host::detail::reportSdkError("PluginRegistrar::RegisterICENode: \"" + rec->def.name +
                                 "\" is already registered");
    return item;
  }
  try {
    record_->nodes.push_back(rec);
  } catch (const std::bad_alloc&) {
    return item;
  }
  rec->def.registered = true;
  item.record_ = rec;
  return item;
}

}  // namespace XSI
