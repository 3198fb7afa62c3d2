// The _tessellon extension: meshes as numpy views, and a verb of the command run over them
// through the same parsing, checks and plug-ins. tessellon/__init__.py is its Python face.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <mutex>
#include <thread>

#include "cli/output_file.h"
#include "cli/run_outputs.h"
#include "cli/verbs.h"
#include "geom/error.h"
#include "python/memory_io.h"

namespace py = pybind11;
using tslpy::Mesh;

namespace {

// The plug-ins keep module-wide state that their node instances share without a lock: one
// evaluation at a time in this process.
std::mutex g_runMutex;
std::thread::id g_mainThread;

PyObject* g_error = nullptr;
PyObject* g_usageError = nullptr;
PyObject* g_inputError = nullptr;
PyObject* g_outputError = nullptr;

// Raises the Python exception for what a verb or a conversion threw, with the command's
// message (prefix names the verb as the command does).
[[noreturn]] void raiseFor(const std::exception& e, const std::string& prefix) {
  PyObject* type = g_error;
  if (dynamic_cast<const cli::UsageError*>(&e) || dynamic_cast<const CLI::Error*>(&e))
    type = g_usageError;
  else if (dynamic_cast<const geom::Error*>(&e) || dynamic_cast<const tslpy::ConversionError*>(&e))
    type = g_inputError;
  else if (dynamic_cast<const cli::OutputError*>(&e) || dynamic_cast<const cli::WriteError*>(&e))
    type = g_outputError;
  PyErr_SetString(type, (prefix + e.what()).c_str());
  throw py::error_already_set();
}

tslpy::ArrayView viewOf(const std::string& name, const py::handle& object) {
  py::array a = py::array::ensure(object);
  if (!a)
    throw tslpy::ConversionError(name + ": expected an array, got " +
                                 std::string(py::str(py::type::of(object))));
  const py::dtype dt = a.dtype();
  if (dt.attr("byteorder").cast<std::string>() == ">")
    throw tslpy::ConversionError(name + ": big-endian arrays are not taken; use astype('=" +
                                 std::string(1, dt.kind()) + std::to_string(dt.itemsize()) + "')");
  tslpy::ArrayView v;
  v.name = name;
  v.data = a.data();
  v.kind = dt.kind();
  v.itemSize = static_cast<std::size_t>(dt.itemsize());
  for (py::ssize_t d = 0; d < a.ndim(); ++d) {
    v.shape.push_back(a.shape(d));
    v.strides.push_back(a.strides(d));
  }
  // The view's data lives as long as the array: keep it while the caller reads.
  v.owner = std::make_shared<py::object>(std::move(a));
  return v;
}

std::optional<tslpy::ArrayView> optionalView(const std::string& name, const py::object& o) {
  if (o.is_none()) return std::nullopt;
  return viewOf(name, o);
}

// A read-only numpy view of count rows of width values of T at data, owned by owner.
template <class T>
py::array view(const T* data, std::size_t count, std::size_t width, const py::object& owner) {
  std::vector<py::ssize_t> shape{static_cast<py::ssize_t>(count)};
  std::vector<py::ssize_t> strides{static_cast<py::ssize_t>(sizeof(T) * width)};
  if (width > 1) {
    shape.push_back(static_cast<py::ssize_t>(width));
    strides.push_back(sizeof(T));
  }
  static const T none{};
  py::array a(py::dtype::of<T>(), shape, strides, count ? data : &none, owner);
  a.attr("flags").attr("writeable") = false;
  return a;
}

Mesh newMesh(const py::object& points, const py::object& faces, const py::object& offsets,
             const py::object& indices, const py::object& uvw, const py::object& ids,
             const std::map<std::int32_t, std::string>& names, const std::string& name) {
  try {
    tslpy::MeshViews v;
    v.points = viewOf("points", points);
    v.offsets = optionalView("offsets", offsets);
    v.indices = optionalView("indices", indices);
    if (!faces.is_none()) {
      if (v.offsets || v.indices)
        throw tslpy::ConversionError("faces: give faces or offsets and indices, not both");
      for (const py::handle face : faces) {
        std::vector<std::int64_t> f;
        for (const py::handle i : face) f.push_back(py::cast<std::int64_t>(i));
        v.faces.push_back(std::move(f));
      }
    } else if (!v.offsets && !v.indices) {
      throw tslpy::ConversionError("faces: give faces, or offsets and indices");
    }
    v.uvw = optionalView("uvw", uvw);
    v.ids = optionalView("ids", ids);
    v.names = names;
    v.name = name;
    return tslpy::makeMesh(v);
  } catch (const py::cast_error&) {
    PyErr_SetString(g_inputError, "faces: expected a list of faces, each a list of indices");
    throw py::error_already_set();
  } catch (const std::exception& e) {
    if (dynamic_cast<const py::error_already_set*>(&e)) throw;
    raiseFor(e, "");
  }
}

// The cancel query of a run: Ctrl-C in the interpreter's main thread. The KeyboardInterrupt it
// raised is kept and raised again once the node has stopped.
struct Interrupt {
  bool pending = false;
  PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
  bool poll() {
    if (pending) return true;
    if (std::this_thread::get_id() != g_mainThread) return false;
    py::gil_scoped_acquire gil;
    if (PyErr_CheckSignals() != 0) {
      PyErr_Fetch(&type, &value, &trace);
      pending = true;
    }
    return pending;
  }
};

using Capture = tslpy::Capture;

// "centers" for the key "<centers>" the line names an array by.
std::string argumentName(const std::string& key) {
  if (key.size() > 2 && key.front() == '<' && key.back() == '>')
    return key.substr(1, key.size() - 2);
  return key;
}

std::shared_ptr<Capture> runVerb(const std::string& verb, const std::vector<std::string>& args,
                                 const std::map<std::string, const Mesh*>& meshes,
                                 const std::map<std::string, py::object>& rows,
                                 const std::map<std::string, std::vector<int>>& rowWidths,
                                 const std::string& pluginDir, bool keepManifest) {
  const std::string prefix = "tessellon " + verb + ": ";
  Interrupt interrupt;
  auto io = std::make_unique<tslpy::MemoryIo>(
      pluginDir, [&interrupt] { return interrupt.poll(); }, keepManifest);
  CLI::App app("", "tessellon");
  std::vector<cli::Verb> verbs;
  try {
    for (const auto& [key, mesh] : meshes) io->addMesh(key, *mesh);
    for (const auto& [key, array] : rows)
      io->addText(key, tslpy::rowsText(
                           tslpy::readRows(viewOf(argumentName(key), array), rowWidths.at(key))));
    if (verb == "combine")
      verbs.push_back(cli::addCombine(app));
    else if (verb == "boolean")
      verbs.push_back(cli::addBoolean(app));
    else if (verb == "voronoi")
      verbs.push_back(cli::addVoronoi(app));
    else if (verb == "continuous")
      verbs.push_back(cli::addContinuous(app));
    else
      throw cli::UsageError("unknown verb '" + verb + "'");
    std::vector<std::string> line{"tessellon", verb};
    line.insert(line.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (const auto& s : line) argv.push_back(s.c_str());
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const std::exception& e) {
    if (dynamic_cast<const py::error_already_set*>(&e)) throw;
    raiseFor(e, prefix);
  }

  std::string failure;
  const std::exception* thrown = nullptr;
  std::exception_ptr keep;
  {
    py::gil_scoped_release release;
    const std::lock_guard<std::mutex> lock(g_runMutex);
    try {
      verbs.front().run(*io);
    } catch (...) {
      keep = std::current_exception();
    }
  }
  if (interrupt.pending) {
    PyErr_Restore(interrupt.type, interrupt.value, interrupt.trace);
    throw py::error_already_set();
  }
  if (keep) {
    try {
      std::rethrow_exception(keep);
    } catch (const std::exception& e) {
      thrown = &e;
      raiseFor(*thrown, prefix);
    } catch (...) {
      failure = "an unknown exception";
    }
    PyErr_SetString(g_error, (prefix + failure).c_str());
    throw py::error_already_set();
  }
  auto capture = std::make_shared<Capture>(std::move(io->capture()));
  if (!capture->reported) {
    PyErr_SetString(g_error, (prefix + "the verb ran no node").c_str());
    throw py::error_already_set();
  }
  return capture;
}

// The run options of args (-o, --preview, --pieces, ...), parsed as every verb parses them.
cli::RunOptions runOptions(const std::vector<std::string>& args) {
  CLI::App app("", "tessellon write");
  cli::RunOptions options;
  cli::addRunOptions(app, options);
  std::vector<std::string> line{"tessellon write"};
  line.insert(line.end(), args.begin(), args.end());
  std::vector<const char*> argv;
  for (const auto& s : line) argv.push_back(s.c_str());
  app.parse(static_cast<int>(argv.size()), argv.data());
  return options;
}

void writeResult(const cli::ResultMesh& result, const cli::NameTable& names,
                 const cli::RunOptions& options) {
  cli::RunOutputs outputs(options);
  outputs.write(result, names);
}

void writeMesh(const Mesh& mesh, const std::vector<std::string>& args) {
  try {
    const cli::RunOptions options = runOptions(args);
    cli::NameTable names(options.innerName);
    Mesh renumbered = mesh;
    const cli::HostArrays a = tslpy::toHostArrays(mesh, names, false);
    renumbered.ids = a.faceIds;
    const cli::ResultMesh result = cli::makeResult(
        tslpy::toRecord(renumbered),
        options.pieces == "islands" ? cli::PieceMode::Islands : cli::PieceMode::Solids);
    writeResult(result, names, options);
  } catch (const std::exception& e) {
    raiseFor(e, "tessellon write: ");
  }
}

void writeCapture(Capture& c, const std::vector<std::string>& args) {
  try {
    const cli::RunOptions options = runOptions(args);
    if (!c.evaluation.hasRecord) throw cli::UsageError("the run has no result to write");
    writeResult(c.resultMesh(), c.names, options);
  } catch (const std::exception& e) {
    raiseFor(e, "tessellon write: ");
  }
}

Mesh readMesh(const std::string& path, const std::string& innerName) {
  try {
    return tslpy::fromMeshFile(geom::readMeshFile(path), cli::defaultFaceName(path), innerName);
  } catch (const std::exception& e) {
    raiseFor(e, "tessellon read: ");
  }
}

py::object jsonObject(const nlohmann::ordered_json& j) {
  return py::module_::import("json").attr("loads")(
      j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

py::list logList(const std::vector<host::LogLine>& log) {
  py::list out;
  for (const auto& line : log)
    out.append(py::make_tuple(cli::severityName(line.severity), line.text));
  return out;
}

}  // namespace

PYBIND11_MODULE(_tessellon, m) {
  m.doc() = "The Tessellon plug-ins driven through the host stand-in.";
  g_mainThread = std::this_thread::get_id();
  g_error = PyErr_NewException("tessellon.Error", PyExc_Exception, nullptr);
  g_usageError = PyErr_NewException("tessellon.UsageError", g_error, nullptr);
  g_inputError = PyErr_NewException("tessellon.InputError", g_error, nullptr);
  g_outputError = PyErr_NewException("tessellon.OutputError", g_error, nullptr);
  m.attr("Error") = py::handle(g_error);
  m.attr("UsageError") = py::handle(g_usageError);
  m.attr("InputError") = py::handle(g_inputError);
  m.attr("OutputError") = py::handle(g_outputError);

  py::class_<Mesh>(m, "Mesh")
      .def(py::init(&newMesh), py::arg("points"), py::arg("faces") = py::none(), py::kw_only(),
           py::arg("offsets") = py::none(), py::arg("indices") = py::none(),
           py::arg("uvw") = py::none(), py::arg("ids") = py::none(),
           py::arg("names") = std::map<std::int32_t, std::string>{},
           py::arg("name") = std::string("mesh"))
      .def_property_readonly("points",
                             [](py::object self) {
                               const Mesh& me = self.cast<const Mesh&>();
                               return view(reinterpret_cast<const double*>(me.points.data()),
                                           me.points.size(), 3, self);
                             })
      .def_property_readonly("offsets",
                             [](py::object self) {
                               const Mesh& me = self.cast<const Mesh&>();
                               return view(me.offsets.data(), me.offsets.size(), 1, self);
                             })
      .def_property_readonly("indices",
                             [](py::object self) {
                               const Mesh& me = self.cast<const Mesh&>();
                               return view(me.indices.data(), me.indices.size(), 1, self);
                             })
      .def_property_readonly("uvw",
                             [](py::object self) -> py::object {
                               const Mesh& me = self.cast<const Mesh&>();
                               if (me.uvw.empty()) return py::none();
                               return view(reinterpret_cast<const float*>(me.uvw.data()),
                                           me.uvw.size(), 3, self);
                             })
      .def_property_readonly("ids",
                             [](py::object self) -> py::object {
                               const Mesh& me = self.cast<const Mesh&>();
                               if (me.ids.empty()) return py::none();
                               return view(me.ids.data(), me.ids.size(), 1, self);
                             })
      .def_readonly("names", &Mesh::names)
      .def_readonly("name", &Mesh::name)
      .def_property_readonly("face_count", &Mesh::faceCount)
      .def_property_readonly("faces",
                             [](const Mesh& me) {
                               py::list out;
                               for (std::size_t f = 0; f < me.faceCount(); ++f) {
                                 py::list face;
                                 for (auto c = me.offsets[f]; c < me.offsets[f + 1]; ++c)
                                   face.append(me.indices[static_cast<std::size_t>(c)]);
                                 out.append(face);
                               }
                               return out;
                             })
      .def("__repr__", [](const Mesh& me) {
        return "<tessellon.Mesh '" + me.name + "': " + std::to_string(me.points.size()) +
               " points, " + std::to_string(me.faceCount()) + " faces>";
      });

  py::class_<Capture, std::shared_ptr<Capture>>(m, "Run")
      .def_property_readonly("status", [](const Capture& c) { return c.status; })
      .def_property_readonly(
          "outcome", [](const Capture& c) { return cli::outcomeName(c.evaluation.facts.outcome); })
      .def_property_readonly("reason", [](const Capture& c) { return c.evaluation.facts.reason; })
      .def_property_readonly("cancelled",
                             [](const Capture& c) { return c.evaluation.facts.cancelled; })
      .def_property_readonly("seconds", [](const Capture& c) { return c.evaluation.facts.seconds; })
      .def_property_readonly("output", [](const Capture& c) { return c.evaluation.facts.output; })
      .def_property_readonly("log", [](const Capture& c) { return logList(c.evaluation.log); })
      .def_property_readonly("escaped", [](const Capture& c) { return c.evaluation.escaped; })
      .def_property_readonly("has_record", [](const Capture& c) { return c.evaluation.hasRecord; })
      .def_property_readonly("points",
                             [](py::object self) {
                               const auto& t = self.cast<const Capture&>().evaluation.mesh;
                               return view(reinterpret_cast<const float*>(t.points.data()),
                                           t.points.size(), 3, self);
                             })
      .def_property_readonly("polygons",
                             [](py::object self) {
                               const auto& t = self.cast<const Capture&>().evaluation.mesh;
                               return view(t.polygons.data(), t.polygons.size(), 1, self);
                             })
      .def_property_readonly("uvw",
                             [](py::object self) -> py::object {
                               const auto& t = self.cast<const Capture&>().evaluation.mesh;
                               if (t.uvw.empty()) return py::none();
                               return view(reinterpret_cast<const float*>(t.uvw.data()),
                                           t.uvw.size(), 3, self);
                             })
      .def_property_readonly("face_info",
                             [](py::object self) {
                               const auto& t = self.cast<const Capture&>().evaluation.mesh;
                               return view(reinterpret_cast<const std::int32_t*>(t.faceInfo.data()),
                                           t.faceInfo.size(), 2, self);
                             })
      .def_property_readonly("bounds",
                             [](py::object self) {
                               const auto& t = self.cast<const Capture&>().evaluation.mesh;
                               return view(reinterpret_cast<const float*>(t.bounds.data()),
                                           t.bounds.size(), 3, self);
                             })
      .def_property_readonly("names",
                             [](const Capture& c) {
                               std::map<std::int32_t, std::string> out;
                               for (const auto& [id, name] : c.names.entries()) out[id] = name;
                               return out;
                             })
      .def("mesh",
           [](const Capture& c) -> py::object {
             if (!c.evaluation.hasRecord) return py::none();
             return py::cast(tslpy::fromRecord(c.evaluation.mesh, c.names));
           })
      .def("pieces",
           [](Capture& c) {
             py::list out;
             if (!c.evaluation.hasRecord) return out;
             const cli::ResultMesh& r = c.resultMesh();
             const std::vector<geom::Vec3> centroids = cli::pieceCentroids(r);
             std::vector<Mesh> meshes = tslpy::pieceMeshes(r, c.names);
             for (std::size_t p = 0; p < meshes.size(); ++p) {
               py::object extras =
                   p < r.pieceExtras.size() ? jsonObject(r.pieceExtras[p]) : py::dict();
               const auto& q = centroids[p];
               out.append(py::make_tuple(py::cast(std::move(meshes[p])),
                                         py::make_tuple(q.x, q.y, q.z), extras));
             }
             return out;
           })
      .def("summary", [](Capture& c) { return jsonObject(c.summary()); })
      .def("manifest",
           [](const Capture& c) -> py::object {
             if (!c.manifest) return py::none();
             return jsonObject(*c.manifest);
           })
      .def("write", &writeCapture);

  m.def("run", &runVerb, py::arg("verb"), py::arg("args"), py::arg("meshes"), py::arg("rows"),
        py::arg("row_widths"), py::arg("plugin_dir"), py::arg("keep_manifest"));
  m.def("read", &readMesh, py::arg("path"), py::arg("inner_name") = std::string("inside"));
  m.def("write_mesh", &writeMesh, py::arg("mesh"), py::arg("args"));
}
