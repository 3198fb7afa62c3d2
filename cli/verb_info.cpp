// tessellon info PLUGIN [--json]: the node definition a plug-in registers.
// tessellon about PLUGIN: the text of its About port.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/node_run.h"
#include "cli/summary.h"
#include "cli/verbs.h"

namespace cli {
namespace {

const std::string kPluginHelp = wrap(
    "A plug-in: a .so path, or a node name (TSL_Combiner, TSL_ICE_Boolean, TSL_Voronoi, "
    "TSL_Continuous) looked up in ../plugins beside the executable.");

std::string valueText(const XSI::CValue& v) {
  std::ostringstream s;
  switch (v.GetType()) {
    case XSI::CValue::siEmpty:
      return "";
    case XSI::CValue::siInt4:
      s << v.GetInt();
      break;
    case XSI::CValue::siBool:
      s << (v.GetBool() ? "true" : "false");
      break;
    case XSI::CValue::siFloat:
    case XSI::CValue::siDouble:
      s << v.GetDouble();
      break;
    case XSI::CValue::siVector3f:
      s << '(' << v.GetVector3f().GetX() << ", " << v.GetVector3f().GetY() << ", "
        << v.GetVector3f().GetZ() << ')';
      break;
    default:
      s << "?";
  }
  return s.str();
}

nlohmann::ordered_json valueJson(const XSI::CValue& v) {
  switch (v.GetType()) {
    case XSI::CValue::siEmpty:
      return nullptr;
    case XSI::CValue::siInt4:
      return v.GetInt();
    case XSI::CValue::siBool:
      return v.GetBool();
    case XSI::CValue::siFloat:
    case XSI::CValue::siDouble:
      return v.GetDouble();
    case XSI::CValue::siVector3f:
      return {jsonFloat(v.GetVector3f().GetX()), jsonFloat(v.GetVector3f().GetY()),
              jsonFloat(v.GetVector3f().GetZ())};
    default:
      return valueText(v);
  }
}

template <class Colour>
nlohmann::ordered_json colour(const Colour& c) {
  return {c.red, c.green, c.blue};
}

void printTable(const host::Host& h) {
  const host::PluginDefinition& p = h.plugin();
  const host::NodeDefinition& n = h.node();
  std::cout << "plug-in     " << p.name << "\nauthor      " << p.author << "\nversion     ";
  if (p.version) std::cout << p.version->first << '.' << p.version->second;
  std::cout << "\nnode        " << n.name << " (\"" << n.displayName << "\")\n";
  for (const auto& t : n.customTypes) {
    std::cout << "custom type " << t.name << " / " << t.scriptName << ": \"" << t.description
              << "\" colour " << t.color.red << ' ' << t.color.green << ' ' << t.color.blue << '\n';
  }
  if (n.color)
    std::cout << "colour      " << n.color->red << ' ' << n.color->green << ' ' << n.color->blue
              << '\n';
  if (n.threadingModel) std::cout << "threading   " << *n.threadingModel << '\n';
  for (const auto& g : n.portGroups) {
    std::cout << "port group  " << g.id << " (" << g.minInstances << ".." << g.maxInstances
              << ")\n";
  }
  std::cout << "categories ";
  for (const auto& c : n.categories) std::cout << ' ' << c;
  std::cout << "\n\ninputs\n  id  group type struct ctx  name / script name  default  min  max  "
               "constraints\n";
  for (const auto& i : n.inputs) {
    std::cout << "  " << i.id << "  " << i.groupId << "  " << i.dataType << "  " << i.structureType
              << "  " << i.contextType << "  \"" << i.name << "\" / " << i.scriptName << "  ["
              << valueText(i.defaultValue) << "]  [" << valueText(i.minValue) << "]  ["
              << valueText(i.maxValue) << "]  " << i.typeConstraintId << ' '
              << i.structureConstraintId << ' ' << i.contextConstraintId << '\n';
  }
  std::cout << "\noutputs\n";
  for (const auto& o : n.outputs) {
    std::cout << "  " << o.id << "  ";
    if (o.customTypes.empty()) {
      std::cout << "type " << o.dataType;
    } else {
      for (const auto& t : o.customTypes) std::cout << t << ' ';
    }
    std::cout << "  struct " << o.structureType << "  ctx " << o.contextType << "  \"" << o.name
              << "\" / " << o.scriptName << "  " << o.typeConstraintId << ' '
              << o.structureConstraintId << ' ' << o.contextConstraintId << '\n';
  }
  const host::CallbackSet cb = h.callbacks();
  std::cout << "\ncallbacks  " << (cb.init ? " Init" : "") << (cb.term ? " Term" : "")
            << (cb.beginEvaluate ? " BeginEvaluate" : "") << (cb.evaluate ? " Evaluate" : "")
            << '\n';
}

void printJson(const host::Host& h) {
  using nlohmann::ordered_json;
  const host::PluginDefinition& p = h.plugin();
  const host::NodeDefinition& n = h.node();
  ordered_json j;
  j["plugin"] = p.name;
  j["author"] = p.author;
  j["version"] = p.version ? ordered_json{p.version->first, p.version->second} : ordered_json();
  j["node"] = n.name;
  j["displayName"] = n.displayName;
  j["customTypes"] = ordered_json::array();
  for (const auto& t : n.customTypes) {
    j["customTypes"].push_back({{"name", t.name},
                                {"scriptName", t.scriptName},
                                {"description", t.description},
                                {"color", colour(t.color)}});
  }
  j["color"] = n.color ? colour(*n.color) : ordered_json();
  j["threadingModel"] = n.threadingModel ? ordered_json(*n.threadingModel) : ordered_json();
  j["portGroups"] = ordered_json::array();
  for (const auto& g : n.portGroups) {
    j["portGroups"].push_back({{"id", g.id},
                               {"min", g.minInstances},
                               {"max", g.maxInstances},
                               {"scriptName", g.scriptName}});
  }
  j["categories"] = n.categories;
  j["inputs"] = ordered_json::array();
  for (const auto& i : n.inputs) {
    j["inputs"].push_back(
        {{"id", i.id},
         {"group", i.groupId},
         {"dataType", i.dataType},
         {"structure", i.structureType},
         {"context", i.contextType},
         {"name", i.name},
         {"scriptName", i.scriptName},
         {"default", valueJson(i.defaultValue)},
         {"min", valueJson(i.minValue)},
         {"max", valueJson(i.maxValue)},
         {"constraints", {i.typeConstraintId, i.structureConstraintId, i.contextConstraintId}}});
  }
  j["outputs"] = ordered_json::array();
  for (const auto& o : n.outputs) {
    j["outputs"].push_back(
        {{"id", o.id},
         {"dataType", o.dataType},
         {"customTypes", o.customTypes},
         {"structure", o.structureType},
         {"context", o.contextType},
         {"name", o.name},
         {"scriptName", o.scriptName},
         {"constraints", {o.typeConstraintId, o.structureConstraintId, o.contextConstraintId}}});
  }
  const host::CallbackSet cb = h.callbacks();
  j["callbacks"] = {{"init", cb.init},
                    {"term", cb.term},
                    {"beginEvaluate", cb.beginEvaluate},
                    {"evaluate", cb.evaluate}};
  std::cout << j.dump(2, ' ', false, ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace

Verb addInfo(CLI::App& app) {
  struct Options {
    std::string plugin;
    bool json = false;
  };
  auto o = std::make_shared<Options>();
  CLI::App* cmd = app.add_subcommand("info", "Print the node definition a plug-in registers.");
  cmd->add_option("PLUGIN", o->plugin, kPluginHelp)->required();
  cmd->add_flag("--json", o->json, "Print the definition as JSON.");
  return {cmd, [o](VerbIo& io) {
            host::Host h(io.plugin(o->plugin));
            if (o->json) {
              printJson(h);
            } else {
              printTable(h);
            }
            return 0;
          }};
}

Verb addAbout(CLI::App& app) {
  auto plugin = std::make_shared<std::string>();
  CLI::App* cmd = app.add_subcommand("about", "Print the text of a node's About port.");
  cmd->add_option("PLUGIN", *plugin, kPluginHelp)->required();
  return {cmd, [plugin](VerbIo& io) {
            host::Host h(io.plugin(*plugin));
            const auto* about = h.node().findOutput(202);
            if (about == nullptr || about->dataType != XSI::siICENodeDataString) {
              throw UsageError(*plugin + ": the node has no About port");
            }
            h.beginEvaluate();
            h.evaluate(202);
            std::cout << h.stringOutputText(202) << '\n';
            return 0;
          }};
}

}  // namespace cli
