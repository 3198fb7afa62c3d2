"""Meshes across the boundary: arrays in and out, files, and the errors bad input gets."""
import os

import numpy as np
import pytest

import tessellon

CUBE_POINTS = np.array([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0],
                        [0, 0, 1], [1, 0, 1], [1, 1, 1], [0, 1, 1]], dtype=float)
CUBE_FACES = [[0, 3, 2, 1], [4, 5, 6, 7], [0, 1, 5, 4], [1, 2, 6, 5], [2, 3, 7, 6], [3, 0, 4, 7]]


def cube(**kw):
    return tessellon.Mesh(CUBE_POINTS, CUBE_FACES, **kw)


def test_arrays_round_trip_as_read_only_views():
    uvw = np.arange(24 * 3, dtype=np.float32).reshape(24, 3)
    ids = np.array([0, 0, 1, 1, -2, 5], dtype=np.int32)
    m = cube(uvw=uvw, ids=ids, names={0: "wood", 1: "steel"}, name="crate")
    assert np.array_equal(m.points, CUBE_POINTS) and m.points.dtype == np.float64
    assert m.faces == CUBE_FACES and m.face_count == 6
    assert np.array_equal(m.offsets, [0, 4, 8, 12, 16, 20, 24])
    assert np.array_equal(m.uvw, uvw) and np.array_equal(m.ids, ids)
    assert m.names == {0: "wood", 1: "steel"} and m.name == "crate"
    with pytest.raises(ValueError):
        m.points[0, 0] = 5
    # The views live on after the names that held the mesh are gone.
    pts = cube().points
    assert pts[6, 2] == 1.0
    # Offsets and indices give the same mesh as lists.
    same = tessellon.Mesh(CUBE_POINTS, offsets=m.offsets, indices=m.indices)
    assert same.faces == CUBE_FACES


def test_strided_and_other_typed_arrays_read_as_their_values():
    wide = np.zeros((8, 6))
    wide[:, ::2] = CUBE_POINTS
    strided = wide[:, ::2]
    assert not strided.flags.c_contiguous
    m = tessellon.Mesh(strided, CUBE_FACES)
    assert np.array_equal(m.points, CUBE_POINTS)
    m32 = tessellon.Mesh(CUBE_POINTS.astype(np.float32)[::-1][::-1], offsets=np.array(
        [0, 4, 8, 12, 16, 20, 24], dtype=np.uint16), indices=np.array(sum(CUBE_FACES, []),
                                                                       dtype=np.int8))
    assert m32.faces == CUBE_FACES
    # Lists work as arrays do.
    assert tessellon.Mesh(CUBE_POINTS.tolist(), CUBE_FACES).points.shape == (8, 3)


@pytest.mark.parametrize("make, message", [
    (lambda: tessellon.Mesh(CUBE_POINTS[:, :2], CUBE_FACES), "points: expected an array of shape (N, 3), got shape (8, 2)"),
    (lambda: tessellon.Mesh(np.where(CUBE_POINTS == 1, np.nan, CUBE_POINTS), CUBE_FACES), "points: row 1 is not finite"),
    (lambda: tessellon.Mesh(CUBE_POINTS, [[0, 1, 8]]), "faces: face 0 has index 8, outside 0 to 7"),
    (lambda: tessellon.Mesh(CUBE_POINTS, [[0, 1]]), "face 0 has 2 corners"),
    (lambda: tessellon.Mesh(CUBE_POINTS, offsets=[0, 3], indices=[0, 1, 2, 3]), "offsets: must start at 0 and end at the number of indices (4)"),
    (lambda: tessellon.Mesh(CUBE_POINTS, offsets=[0, 3]), "give both"),
    (lambda: tessellon.Mesh(CUBE_POINTS, CUBE_FACES, ids=[0, 1]), "ids: 2 values for 6 faces"),
    (lambda: tessellon.Mesh(CUBE_POINTS, CUBE_FACES, ids=[0.5] * 6), "ids: element 0 is not an integer"),
    (lambda: tessellon.Mesh(CUBE_POINTS, CUBE_FACES, ids=[2 ** 40] * 6), "outside -2147483648 to 2147483647"),
    (lambda: tessellon.Mesh(CUBE_POINTS, CUBE_FACES, uvw=np.zeros((23, 3))), "uvw: 23 rows for 24 corners"),
    (lambda: tessellon.Mesh(CUBE_POINTS.astype(">f8"), CUBE_FACES), "big-endian"),
    (lambda: tessellon.Mesh(CUBE_POINTS.astype(str), CUBE_FACES), "points: expected an array of floating-point numbers"),
    (lambda: tessellon.Mesh(CUBE_POINTS, "abc"), "faces: expected a list of faces"),
    (lambda: tessellon.Mesh(CUBE_POINTS, CUBE_FACES, names={0: ""}), "a name must be one non-empty line"),
])
def test_bad_arrays_get_a_clear_exception(make, message):
    with pytest.raises(tessellon.InputError) as e:
        make()
    assert message in str(e.value)


def test_files_round_trip_in_every_format(tmp_path, examples):
    m = tessellon.read(os.path.join(examples, "two_boxes.obj"))
    assert m.names == {-2: "inside", 0: "left", 1: "right"}
    for ext in ("obj", "ply", "glb"):
        tessellon.write(m, tmp_path / f"m.{ext}", pivot="origin")
        assert (tmp_path / f"m.{ext}").stat().st_size > 0
    for ext in ("obj", "ply"):
        back = tessellon.read(tmp_path / f"m.{ext}")
        assert np.array_equal(back.points, m.points.astype(np.float32))
        assert back.faces == m.faces
        assert [back.names[i] for i in back.ids] == [m.names[i] for i in m.ids]
        assert np.array_equal(back.uvw, m.uvw) if m.uvw is not None else back.uvw is None
    tessellon.write(m, tmp_path / "m.png", preview_size=(64, 48))
    assert (tmp_path / "m.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_file_errors_are_ours(tmp_path):
    with pytest.raises(tessellon.InputError, match="nothere.off: no such file"):
        tessellon.read(tmp_path / "nothere.off")
    with pytest.raises(tessellon.OutputError, match="x.doc"):
        tessellon.write(cube(), tmp_path / "x.doc")
    with pytest.raises(tessellon.OutputError):
        tessellon.write(cube(), tmp_path / "no" / "such" / "folder.obj")
    with pytest.raises(tessellon.UsageError, match="--sharp-angle"):
        tessellon.write(cube(), tmp_path / "x.glb", sharp_angle=500)
    with pytest.raises(tessellon.InputError, match="expected a tessellon.Result or Mesh"):
        tessellon.write("cube", tmp_path / "x.glb")
    assert not list(tmp_path.iterdir())
