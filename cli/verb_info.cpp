// tessellon info PLUGIN [--json]: the node definition a plug-in registers.
#include <iostream>
#include <sstream>

#include "cli/args.h"
#include "cli/node_run.h"
#include "cli/verbs.h"

namespace cli {
namespace {

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

std::string valueJson(const XSI::CValue& v) {
  switch (v.GetType()) {
    case XSI::CValue::siEmpty:
      return "null";
    case XSI::CValue::siVector3f: {
      std::ostringstream s;
      s << '[' << v.GetVector3f().GetX() << ", " << v.GetVector3f().GetY() << ", "
        << v.GetVector3f().GetZ() << ']';
      return s.str();
    }
    default:
      return valueText(v);
  }
}

std::string q(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
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
  const host::PluginDefinition& p = h.plugin();
  const host::NodeDefinition& n = h.node();
  std::ostringstream s;
  s << std::boolalpha << "{\n  \"plugin\": " << q(p.name) << ",\n  \"author\": " << q(p.author)
    << ",\n  \"version\": ";
  if (p.version) {
    s << '[' << p.version->first << ", " << p.version->second << ']';
  } else {
    s << "null";
  }
  s << ",\n  \"node\": " << q(n.name) << ",\n  \"displayName\": " << q(n.displayName);
  s << ",\n  \"customTypes\": [";
  for (std::size_t i = 0; i < n.customTypes.size(); ++i) {
    const auto& t = n.customTypes[i];
    s << (i ? ", " : "") << "{\"name\": " << q(t.name) << ", \"scriptName\": " << q(t.scriptName)
      << ", \"description\": " << q(t.description) << ", \"color\": [" << t.color.red << ", "
      << t.color.green << ", " << t.color.blue << "]}";
  }
  s << "],\n  \"color\": ";
  if (n.color) {
    s << '[' << n.color->red << ", " << n.color->green << ", " << n.color->blue << ']';
  } else {
    s << "null";
  }
  s << ",\n  \"threadingModel\": "
    << (n.threadingModel ? std::to_string(*n.threadingModel) : "null");
  s << ",\n  \"portGroups\": [";
  for (std::size_t i = 0; i < n.portGroups.size(); ++i) {
    const auto& g = n.portGroups[i];
    s << (i ? ", " : "") << "{\"id\": " << g.id << ", \"min\": " << g.minInstances
      << ", \"max\": " << g.maxInstances << ", \"scriptName\": " << q(g.scriptName) << '}';
  }
  s << "],\n  \"categories\": [";
  for (std::size_t i = 0; i < n.categories.size(); ++i) s << (i ? ", " : "") << q(n.categories[i]);
  s << "],\n  \"inputs\": [";
  for (std::size_t k = 0; k < n.inputs.size(); ++k) {
    const auto& i = n.inputs[k];
    s << (k ? "," : "") << "\n    {\"id\": " << i.id << ", \"group\": " << i.groupId
      << ", \"dataType\": " << i.dataType << ", \"structure\": " << i.structureType
      << ", \"context\": " << i.contextType << ", \"name\": " << q(i.name)
      << ", \"scriptName\": " << q(i.scriptName) << ", \"default\": " << valueJson(i.defaultValue)
      << ", \"min\": " << valueJson(i.minValue) << ", \"max\": " << valueJson(i.maxValue)
      << ", \"constraints\": [" << i.typeConstraintId << ", " << i.structureConstraintId << ", "
      << i.contextConstraintId << "]}";
  }
  s << "\n  ],\n  \"outputs\": [";
  for (std::size_t k = 0; k < n.outputs.size(); ++k) {
    const auto& o = n.outputs[k];
    s << (k ? "," : "") << "\n    {\"id\": " << o.id << ", \"dataType\": " << o.dataType
      << ", \"customTypes\": [";
    for (std::size_t t = 0; t < o.customTypes.size(); ++t)
      s << (t ? ", " : "") << q(o.customTypes[t]);
    s << "], \"structure\": " << o.structureType << ", \"context\": " << o.contextType
      << ", \"name\": " << q(o.name) << ", \"scriptName\": " << q(o.scriptName)
      << ", \"constraints\": [" << o.typeConstraintId << ", " << o.structureConstraintId << ", "
      << o.contextConstraintId << "]}";
  }
  const host::CallbackSet cb = h.callbacks();
  s << "\n  ],\n  \"callbacks\": {\"init\": " << cb.init << ", \"term\": " << cb.term
    << ", \"beginEvaluate\": " << cb.beginEvaluate << ", \"evaluate\": " << cb.evaluate << "}\n}\n";
  std::cout << s.str();
}

}  // namespace

int runInfo(const std::vector<std::string>& argv) {
  const Args args("info", argv, {{}, {"--json"}});
  args.expectPositionals(1, "PLUGIN");
  host::Host h(locatePlugin(args.positionals()[0]));
  if (args.flag("--json")) {
    printJson(h);
  } else {
    printTable(h);
  }
  return 0;
}

}  // namespace cli
