"""Tessellon's four mesh nodes from Python.

Each function runs the real plug-in through the host stand-in, exactly as the ``tessellon``
command does: the keyword arguments are the command's options (``near_surface`` for
``--near-surface``), with the same ranges, defaults and messages. Meshes go in and come out as
:class:`Mesh` objects whose arrays are read-only numpy views.

    import tessellon
    bunny = tessellon.read("bunny.off")
    run = tessellon.voronoi(bunny, count=20, impact=[(0, 0.1, 0, 0.02)], seed=3)
    for piece in run.pieces:
        print(piece.name, piece.centroid, piece.mesh.face_count)
    tessellon.write(run, "pieces.glb")

Errors are :class:`Error` subclasses: :class:`UsageError` (a bad option), :class:`InputError`
(a bad mesh or array, an unreadable file) and :class:`OutputError` (a file that cannot be
written). Nodes run one at a time in a process; the GIL is released while one runs.
"""

import dataclasses
import os
from typing import Any, Dict, List, Optional, Tuple

from ._tessellon import Error, InputError, Mesh, OutputError, UsageError
from . import _tessellon

__all__ = ["Mesh", "Piece", "Result", "Error", "UsageError", "InputError", "OutputError",
           "read", "write", "combine", "boolean", "voronoi", "continuous"]

OPERATIONS = ("union", "intersection", "a-minus-b", "b-minus-a", "symmetric-difference")


def _plugin_dir() -> str:
    here = os.path.dirname(os.path.abspath(__file__))
    return os.environ.get("TESSELLON_PLUGINS") or os.path.normpath(
        os.path.join(here, "..", "..", "plugins"))


@dataclasses.dataclass
class Piece:
    """One piece of a result: its mesh (named like the piece), its centre of volume and, for a
    fracture, the properties a rigid-body solver uses (level, parent, volume, inertia...)."""
    mesh: Mesh
    centroid: Tuple[float, float, float]
    extras: Dict[str, Any]

    @property
    def name(self) -> str:
        return self.mesh.name


class Result:
    """What a node came to.

    ``outcome`` is "result", "pass-through" (the Boolean node gave A back), "empty" or
    "unwritten"; ``reason`` says why there is no result. ``points``, ``polygons`` (-2 ends a
    face), ``uvw``, ``face_info`` (island, identifier) and ``bounds`` are the published arrays;
    ``mesh`` the result as a :class:`Mesh`; ``pieces`` its pieces. ``log`` holds
    (severity, text) lines, ``seconds`` the node's time.
    """

    def __init__(self, run):
        self._run = run
        self._pieces = None

    outcome = property(lambda self: self._run.outcome)
    reason = property(lambda self: self._run.reason)
    cancelled = property(lambda self: self._run.cancelled)
    seconds = property(lambda self: self._run.seconds)
    log = property(lambda self: self._run.log)
    status = property(lambda self: self._run.status)
    output = property(lambda self: self._run.output)
    points = property(lambda self: self._run.points)
    polygons = property(lambda self: self._run.polygons)
    uvw = property(lambda self: self._run.uvw)
    face_info = property(lambda self: self._run.face_info)
    bounds = property(lambda self: self._run.bounds)
    names = property(lambda self: self._run.names)

    @property
    def islands(self):
        """The island of every face of the published result."""
        return self._run.face_info[:, 0]

    @property
    def mesh(self) -> Optional[Mesh]:
        return self._run.mesh()

    @property
    def pieces(self) -> List[Piece]:
        if self._pieces is None:
            self._pieces = [Piece(m, c, e) for m, c, e in self._run.pieces()]
        return self._pieces

    @property
    def summary(self) -> Dict[str, Any]:
        """The summary the command prints with --json."""
        return self._run.summary()

    @property
    def manifest(self) -> Optional[Dict[str, Any]]:
        """The fracture's manifest (pieces and bonds) when ``manifest`` was given."""
        return self._run.manifest()

    def __bool__(self) -> bool:
        return self.outcome == "result"

    def __repr__(self) -> str:
        return f"<tessellon.Result {self.outcome}: {len(self._run.face_info)} faces>"


def _text(value) -> str:
    if isinstance(value, bool):
        raise UsageError(f"{value!r} is not a value for this option")
    if isinstance(value, float):
        return repr(value)
    return str(value)


def _joined(value, sep=",") -> str:
    if isinstance(value, str):
        return value
    return sep.join(_text(float(v) if not isinstance(v, int) else v) for v in value)


class _Line:
    """A verb's command line made of keyword arguments, with meshes and rows kept aside."""

    def __init__(self):
        self.args: List[str] = []
        self.meshes: Dict[str, Mesh] = {}
        self.rows: Dict[str, Any] = {}
        self.widths: Dict[str, List[int]] = {}
        self.keep_manifest = False

    def mesh(self, key: str, value) -> str:
        if isinstance(value, Mesh):
            self.meshes[key] = value
            return key
        if isinstance(value, (str, os.PathLike)):
            return os.fspath(value)
        raise InputError(f"{key.strip('<>')}: expected a tessellon.Mesh or a file path, got "
                         f"{type(value).__name__}")

    def table(self, option: str, key: str, value, widths: List[int]):
        if isinstance(value, (str, os.PathLike)):
            self.args += [option, os.fspath(value)]
        else:
            self.rows[key] = value
            self.widths[key] = widths
            self.args += [option, key]

    def options(self, options: Dict[str, Any]):
        for key, value in options.items():
            if value is None or value is False:
                continue
            flag = "--" + key.replace("_", "-")
            if value is True:
                self.args.append(flag)
            elif key == "impact":
                impacts = [value] if _is_point(value) else value
                for one in impacts:
                    self.args += [flag, _joined(one)]
            elif key == "preview_size" and not isinstance(value, str):
                self.args += [flag, "x".join(str(int(v)) for v in value)]
            elif isinstance(value, (list, tuple)) or hasattr(value, "__array__"):
                self.args += [flag, _joined(value)]
            else:
                self.args += [flag, _text(value)]

    def run(self, verb: str) -> Result:
        return Result(_tessellon.run(verb, self.args, self.meshes, self.rows, self.widths,
                                     _plugin_dir(), self.keep_manifest))


def _is_point(value) -> bool:
    try:
        return len(value) in (3, 4) and all(not hasattr(v, "__len__") for v in value)
    except TypeError:
        return False


def read(path, inner_name: str = "inside") -> Mesh:
    """Reads an .obj, .off, .ply or .stl file as the command does: every face gets the
    identifier its name has in a fresh table (faces without a name the file's name), and the
    mesh's ``names`` hold every name."""
    return _tessellon.read(os.fspath(path), inner_name)


def write(what, path, **options) -> None:
    """Writes a :class:`Result` or a :class:`Mesh` to ``path``: .obj (with its .mtl), .ply,
    .glb, or a .png preview picture. ``options`` are the command's output options:
    ``inner_name``, ``pieces``, ``sharp_angle``, ``missing_uv``, ``pivot``, ``preview_size``,
    ``preview_angle``."""
    path = os.fspath(path)
    line = _Line()
    line.args += ["--preview" if path.lower().endswith(".png") else "-o", path]
    line.options(options)
    if isinstance(what, Result):
        what._run.write(line.args)
    elif isinstance(what, Mesh):
        _tessellon.write_mesh(what, line.args)
    else:
        raise InputError(f"write: expected a tessellon.Result or Mesh, got {type(what).__name__}")


def combine(mesh, **options) -> Result:
    """The Combiner: ``filter_id`` (a number or a name) keeps the faces of one identifier."""
    line = _Line()
    line.args.append(line.mesh("<mesh>", mesh))
    line.options(options)
    return line.run("combine")


def boolean(a, b, op: str, **options) -> Result:
    """The Boolean of two solids: ``op`` is one of OPERATIONS; ``classify``, ``triangulate``,
    ``canonicalize``, ``move_b``, ``rotate_b``, ``scale_b`` as in the command."""
    line = _Line()
    line.args += [line.mesh("<a>", a), line.mesh("<b>", b), "--op", _text(op)]
    line.options(options)
    return line.run("boolean")


def voronoi(mesh, centers=None, manifest=None, **options) -> Result:
    """The Voronoi fracture. Centre modes combine: ``count`` (with ``near_surface``),
    ``impact`` (a point (x, y, z[, r]) or a list of them, with ``impact_count``), ``radial``
    (with ``axis``, ``rings``, ``spokes``, ``radial_jitter``) and ``centers`` (an (N, 3) array
    or a file). ``levels``, ``level_fraction``, ``level_count``, ``min_volume`` (a volume or
    "V%"), ``drop_small``, ``seed``, ``thickness``, ``uv_scale``, ``explode`` as in the command.
    ``manifest=True`` keeps the manifest (pieces and bonds) in the result; a path also writes it.
    """
    line = _Line()
    line.args.append(line.mesh("<mesh>", mesh))
    if centers is not None:
        line.table("--centers", "<centers>", centers, [3])
    if manifest is not None and manifest is not False:
        line.keep_manifest = True
        if manifest is not True:
            line.args += ["--manifest", os.fspath(manifest)]
    line.options(options)
    return line.run("voronoi")


def continuous(mesh, knife, instances=None, knife_points=None, **options) -> Result:
    """The Continuous knife: ``knife`` is a Mesh or a file; the knives are placed by
    ``instances`` (rows of x y z or x y z rx ry rz s, an array or a file), ``knife_points``
    (every instance's points, an array or a file) or ``scatter`` (with ``seed``, ``impact``,
    ``knife_scale``)."""
    line = _Line()
    line.args += [line.mesh("<mesh>", mesh), "--knife", line.mesh("<knife>", knife)]
    if instances is not None:
        line.table("--instances", "<instances>", instances, [3, 7])
    if knife_points is not None:
        line.table("--knife-points", "<knife_points>", knife_points, [3])
    line.options(options)
    return line.run("continuous")
