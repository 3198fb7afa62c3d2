"""The four nodes from Python: every option reaches the node, results equal the command's, bad
options raise our errors, and runs from several threads are serialised."""
import json
import os
import subprocess
import threading
import time

import numpy as np
import pytest

import tessellon

from test_meshes import CUBE_FACES, CUBE_POINTS, cube


def boxes(examples):
    return tessellon.read(os.path.join(examples, "two_boxes.obj"))


def volume(mesh):
    """The signed volume the mesh's faces bound (fans from each face's first corner)."""
    p, total = mesh.points, 0.0
    for f in mesh.faces:
        for k in range(1, len(f) - 1):
            total += np.dot(p[f[0]], np.cross(p[f[k]], p[f[k + 1]])) / 6
    return total


def moved_cube(offset, size=2.0):
    return tessellon.Mesh(CUBE_POINTS * size + np.asarray(offset, dtype=float), CUBE_FACES,
                          name="b")


@pytest.mark.parametrize("op, expected", [("union", 13.375), ("intersection", 2.625),
                                          ("a-minus-b", 5.375), ("b-minus-a", 5.375),
                                          ("symmetric-difference", 10.75)])
def test_boolean_every_operation(op, expected):
    a = tessellon.Mesh(CUBE_POINTS * 2, CUBE_FACES, name="a")
    r = tessellon.boolean(a, cube(name="b"), op, move_b=(1, 0.5, 0.25), scale_b=2, quiet=True)
    assert r and r.reason is None
    assert volume(r.mesh) == pytest.approx(expected, abs=1e-5)
    assert r.summary["outcome"] == "result" and r.seconds > 0
    assert {"a", "b"} <= set(r.names.values())


def test_boolean_options_reach_the_node():
    a, b = moved_cube((0, 0, 0)), moved_cube((1, 0.5, 0.25))
    plain = tessellon.boolean(a, b, "union", quiet=True)
    tri = tessellon.boolean(a, b, "union", triangulate=True, classify="normal", quiet=True)
    assert max(len(f) for f in plain.mesh.faces) == 6
    assert max(len(f) for f in tri.mesh.faces) == 3
    canon = tessellon.boolean(a, b, "union", canonicalize=True, quiet=True).mesh.points
    assert np.array_equal(canon, canon[np.lexsort(canon.T[::-1])])
    turned = tessellon.boolean(a, cube(), "union", rotate_b=(0, 0, 45), quiet=True)
    assert volume(turned.mesh) == pytest.approx(8 + 1 - 0.5, abs=1e-6) is not None


def test_pass_through_gives_the_engines_reason():
    inward = tessellon.Mesh(CUBE_POINTS, [f[::-1] for f in CUBE_FACES], name="inward")
    r = tessellon.boolean(inward, cube(), "union", quiet=True)
    assert r.outcome == "pass-through" and not r and r.status == 3
    assert "operand A is wound inwards" in r.reason
    assert any(sev == "warning" for sev, _ in r.log)


def test_combine_filters_by_name_and_number(examples):
    m = boxes(examples)
    whole = tessellon.combine(m, quiet=True)
    assert len(whole.pieces) == 2 and set(np.unique(whole.islands)) == {0, 1}
    right = tessellon.combine(m, filter_id="right", quiet=True)
    by_number = tessellon.combine(m, filter_id=1, quiet=True)
    assert np.array_equal(right.points, by_number.points)
    assert len(right.mesh.faces) == 6 and set(right.mesh.ids) == {1}
    with pytest.raises(tessellon.UsageError, match="no identifier named 'glass'.*left, right"):
        tessellon.combine(m, filter_id="glass")


def test_voronoi_centre_modes_levels_and_cleaning(examples):
    m = moved_cube((0, 0, 0))
    uniform = tessellon.voronoi(m, count=12, seed=4, quiet=True)
    assert uniform and uniform.summary["centres"] == 12
    assert sum(p.extras["volume"] for p in uniform.pieces) == pytest.approx(8, rel=0.01)
    near = tessellon.voronoi(m, count=20, near_surface=0.2, seed=4, quiet=True)
    impact = tessellon.voronoi(m, impact=[(0.2, 0.2, 0.2, 0.5), (1.8, 1.8, 1.8)],
                               impact_count=10, seed=4, quiet=True)
    assert impact.summary["centres"] == 20
    one = tessellon.voronoi(m, impact=(1, 1, 1), impact_count=7, quiet=True)
    assert one.summary["centres"] == 7
    glass = tessellon.voronoi(m, radial=(1, 1, 1), axis=(0, 0, 1), rings=2, spokes=5,
                              radial_jitter=0.1, quiet=True)
    denser = tessellon.voronoi(m, radial=(1, 1, 1), rings=3, spokes=9, quiet=True)
    assert 1 < glass.summary["centres"] < denser.summary["centres"]
    centres = np.array([[0.5, 0.5, 0.5], [1.5, 1.5, 1.5], [1.5, 0.5, 0.5]])
    fixed = tessellon.voronoi(m, centers=centres, thickness=0.01, uv_scale=2, quiet=True)
    assert len(fixed.pieces) == 3
    levels = tessellon.voronoi(m, count=6, levels=2, level_fraction=0.5, level_count=4,
                               seed=2, quiet=True)
    assert levels.summary["fracture"]["evaluations"] > 1
    assert any("_" in p.name[len("piece_"):] for p in levels.pieces)
    merged = tessellon.voronoi(m, count=40, min_volume="2%", seed=2, quiet=True)
    dropped = tessellon.voronoi(m, count=40, min_volume=0.16, drop_small=True, seed=2, quiet=True)
    assert merged.summary["fracture"]["merged"] > 0
    assert dropped.summary["fracture"]["dropped"] > 0
    assert sum(p.extras["volume"] for p in merged.pieces) == pytest.approx(8, rel=0.01)
    exploded = tessellon.voronoi(m, centers=centres, explode=1.0, quiet=True)
    def extent(r):
        return float((r.points.max(0) - r.points.min(0)).max())
    assert extent(fixed) < 2.01 and extent(exploded) > 2.5
    assert near and glass and levels


def test_voronoi_manifest_in_the_result_and_in_a_file(tmp_path):
    m = moved_cube((0, 0, 0))
    r = tessellon.voronoi(m, count=8, seed=5, manifest=tmp_path / "m.json", quiet=True)
    kept = tessellon.voronoi(m, count=8, seed=5, manifest=True, quiet=True)
    on_disk = json.loads((tmp_path / "m.json").read_text())
    assert r.manifest["bonds"] == on_disk["bonds"] == kept.manifest["bonds"]
    assert len(kept.manifest["bonds"]) > 0
    assert tessellon.voronoi(m, count=8, seed=5, quiet=True).manifest is None
    piece = kept.pieces[0]
    assert piece.extras["name"] == piece.name
    assert np.allclose(piece.centroid, piece.extras["centroid"])


def test_continuous_every_placement(examples):
    m = boxes(examples)
    knife = tessellon.read(os.path.join(examples, "octahedron_knife.obj"))
    rows = np.array([[1, 1, 1, 0, 0, 0, 1], [2.5, 0.5, 0.5, 45, 0, 30, 1.5],
                     [0.5, 0, 0.5, 0, 0, 0, 0.5]])
    a = tessellon.continuous(m, knife, instances=rows, quiet=True)
    b = tessellon.continuous(m, os.path.join(examples, "octahedron_knife.obj"),
                             instances=os.path.join(examples, "knife_instances.txt"), quiet=True)
    assert a and np.array_equal(a.points, b.points) and a.summary["knives"] == 3
    moves = tessellon.continuous(m, knife, instances=rows[:, :3], quiet=True)
    pts = np.vstack([knife.points + row[:3] for row in rows])
    by_points = tessellon.continuous(m, knife, knife_points=pts, quiet=True)
    assert np.array_equal(moves.points, by_points.points)
    scattered = tessellon.continuous(m, knife, scatter=4, seed=9, impact=[(1, 0.5, 0.5, 0.3)],
                                     knife_scale=(0.2, 0.4), quiet=True)
    assert scattered.summary["knives"] == 4
    with pytest.raises(tessellon.UsageError, match="give one of --instances"):
        tessellon.continuous(m, knife, quiet=True)
    with pytest.raises(tessellon.InputError, match=r"instances: expected an array of shape \(N, 3\) or \(N, 7\)"):
        tessellon.continuous(m, knife, instances=np.zeros((2, 4)))
    with pytest.raises(tessellon.InputError, match="<knife>: "):
        tessellon.continuous(m, tessellon.Mesh(CUBE_POINTS, CUBE_FACES[:5]), instances=rows)


def test_run_options_reach_the_files(tmp_path, examples):
    m = cube()
    r = tessellon.combine(m, output=tmp_path / "c.obj", preview=tmp_path / "c.png",
                          preview_size=(40, 30), preview_angle=(10, 20), inner_name="cut",
                          pieces="islands", sharp_angle=0, missing_uv="none", pivot="origin",
                          quiet=True)
    assert r.output == str(tmp_path / "c.obj")
    assert (tmp_path / "c.mtl").exists() and (tmp_path / "c.png").exists()
    assert r.uvw is None and r.summary["uvw"] == 0
    assert r.names[-2] == "cut"


@pytest.mark.parametrize("call, message", [
    (lambda m: tessellon.voronoi(m, count=0), "tessellon voronoi: --count: Value 0 not in range 1 to 10000000"),
    (lambda m: tessellon.voronoi(m, thickness=float("nan"), count=3), "--thickness: nan is not a finite number"),
    (lambda m: tessellon.voronoi(m), "give at least one of --centers FILE"),
    (lambda m: tessellon.voronoi(m, count=3, bogus=1), "not expected"),
    (lambda m: tessellon.voronoi(m, near_surface=0.1), "--near-surface requires --count"),
    (lambda m: tessellon.voronoi(m, count=2, min_volume="120%"), "--min-volume"),
    (lambda m: tessellon.voronoi(m, centers=np.zeros((2, 2))), "centers: expected an array of shape (N, 3)"),
    (lambda m: tessellon.boolean(m, m, "merge"), "--op: merge not in"),
    (lambda m: tessellon.boolean(m, 42, "union"), "expected a tessellon.Mesh or a file path"),
    (lambda m: tessellon.combine("nothere.off"), "nothere.off: no such file"),
    (lambda m: tessellon.combine(m, output="/no/such/dir/x.obj"), "/no/such/dir"),
])
def test_bad_options_raise_the_commands_message(examples, call, message):
    with pytest.raises(tessellon.Error) as e:
        call(boxes(examples))
    assert message in str(e.value)


def same_file(tmp_path, command, python_write, args):
    """The command's file and Python's file of the same run, byte for byte."""
    ours, theirs = tmp_path / "python.ply", tmp_path / "command.ply"
    python_write(ours)
    subprocess.run([command] + args + ["-o", str(theirs), "--quiet"], check=True,
                   stdout=subprocess.DEVNULL)
    return ours.read_bytes() == theirs.read_bytes()


def test_results_are_the_commands(tmp_path, command, examples, meshes):
    bunny_path = os.path.join(meshes, "bunny00.off")
    bunny = tessellon.read(bunny_path)
    boxes_path = os.path.join(examples, "two_boxes.obj")
    knife = os.path.join(examples, "octahedron_knife.obj")
    inst = os.path.join(examples, "knife_instances.txt")
    cases = [
        (lambda p: tessellon.write(tessellon.voronoi(bunny, count=30, impact=(0, 0.1, 0, 0.03),
                                                     levels=2, min_volume="0.2%", seed=7,
                                                     quiet=True), p),
         ["voronoi", bunny_path, "--count", "30", "--impact", "0,0.1,0,0.03", "--levels", "2",
          "--min-volume", "0.2%", "--seed", "7"]),
        (lambda p: tessellon.write(tessellon.boolean(bunny, bunny, "a-minus-b",
                                                     move_b=(0.02, 0.01, 0), quiet=True), p),
         ["boolean", bunny_path, bunny_path, "--op", "a-minus-b", "--move-b", "0.02,0.01,0"]),
        (lambda p: tessellon.write(tessellon.continuous(tessellon.read(boxes_path),
                                                        tessellon.read(knife),
                                                        instances=inst, quiet=True), p),
         ["continuous", boxes_path, "--knife", knife, "--instances", inst]),
        (lambda p: tessellon.write(tessellon.combine(tessellon.read(boxes_path), filter_id="left",
                                                     quiet=True), p),
         ["combine", boxes_path, "--filter-id", "left"]),
    ]
    for write, args in cases:
        assert same_file(tmp_path, command, write, args), args[0]


def test_threads_are_serialised_and_release_the_gil(meshes):
    bunny = tessellon.read(os.path.join(meshes, "bunny00.off"))
    expected = tessellon.voronoi(bunny, count=60, seed=11, quiet=True).points.copy()
    results, spans, errors = [], [], []

    def fracture():
        try:
            r = tessellon.voronoi(bunny, count=60, seed=11, quiet=True)
            results.append(r.points.copy())
            done = time.perf_counter()
            spans.append((done - r.seconds, done))
        except Exception as e:  # noqa: BLE001 - reported below
            errors.append(e)

    ticks = [0]
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks[0] += 1
            time.sleep(0.001)

    t = threading.Thread(target=ticker)
    t.start()
    workers = [threading.Thread(target=fracture) for _ in range(4)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    stop.set()
    t.join()
    assert not errors
    # Shared plug-in state and the node's seeded jitter: only one at a time gives every run
    # the same pieces.
    assert len(results) == 4 and all(np.array_equal(r, expected) for r in results)
    spans.sort()
    assert all(a[1] <= b[0] + 1e-3 for a, b in zip(spans, spans[1:])), spans
    # The interpreter ran on while the nodes did.
    assert ticks[0] > 10


def test_ctrl_c_stops_the_node_and_the_next_run_works(meshes, tmp_path):
    script = tmp_path / "long.py"
    script.write_text(f"""
import sys, time
sys.path.insert(0, {os.path.dirname(tessellon.__path__[0])!r})
import tessellon
bunny = tessellon.read({os.path.join(meshes, "bunny00.off")!r})
print("ready", flush=True)
try:
    tessellon.voronoi(bunny, count=20000, levels=3, quiet=True)
    print("finished")
except KeyboardInterrupt:
    print("interrupted")
print(tessellon.voronoi(bunny, count=5, quiet=True).outcome)
""")
    import signal
    import sys
    p = subprocess.Popen([sys.executable, str(script)], stdout=subprocess.PIPE, text=True)
    assert p.stdout.readline().strip() == "ready"
    time.sleep(1.0)
    p.send_signal(signal.SIGINT)
    # Uninterrupted, the run takes minutes.
    out, _ = p.communicate(timeout=60)
    assert out.split() == ["interrupted", "result"]
