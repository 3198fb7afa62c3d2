"""What a Boolean costs through the Python module beyond the node's own seconds.

Two UV spheres of about 200,000 triangles each (the second moved by 0.37 radius), united through
tessellon.boolean; each turn times the whole call (arrays in, the run, the result's arrays out)
against the node's own seconds measured inside the same call. Prints the median ratio of five
turns; the module's budget is 1.05.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_overhead.py [TRIANGLES]
"""
import statistics
import sys
import time

import numpy as np

import tessellon


def uv_sphere(triangles: int, offset: float) -> tessellon.Mesh:
    slices = 400
    stacks = triangles // (2 * slices) + 1
    theta = np.linspace(0, np.pi, stacks + 1)[1:-1]
    phi = np.linspace(0, 2 * np.pi, slices, endpoint=False)
    t, p = np.meshgrid(theta, phi, indexing="ij")
    ring = np.stack([np.sin(t) * np.cos(p), np.sin(t) * np.sin(p), np.cos(t)], -1).reshape(-1, 3)
    points = np.vstack([[0, 0, 1], ring, [0, 0, -1]]) + [offset, 0, 0]
    south = len(points) - 1
    tris = []
    j = np.arange(slices)
    nj = (j + 1) % slices
    tris.append(np.stack([np.zeros(slices, int), 1 + j, 1 + nj], -1))
    for r in range(stacks - 2):
        a, b = 1 + r * slices + j, 1 + r * slices + nj
        c, d = a + slices, b + slices
        tris += [np.stack([a, c, d], -1), np.stack([a, d, b], -1)]
    last = 1 + (stacks - 2) * slices
    tris.append(np.stack([last + j, np.full(slices, south), last + nj], -1))
    tris = np.vstack(tris)
    return tessellon.Mesh(points, offsets=np.arange(0, 3 * len(tris) + 1, 3),
                          indices=tris.reshape(-1), name=f"sphere{offset}")


def main() -> None:
    triangles = int(sys.argv[1]) if len(sys.argv) > 1 else 200_000
    a, b = uv_sphere(triangles, 0.0), uv_sphere(triangles, 0.37)
    ratios = []
    for _ in range(5):
        start = time.perf_counter()
        r = tessellon.boolean(a, b, "union", quiet=True)
        _ = (r.points, r.polygons, r.face_info)
        wall = time.perf_counter() - start
        assert r.outcome == "result", r.reason
        ratios.append(wall / r.seconds)
        print(f"  call {wall:.3f} s, node {r.seconds:.3f} s, ratio {wall / r.seconds:.3f}")
    print(f"python_overhead/boolean {a.face_count} + {b.face_count} triangles: "
          f"median ratio {statistics.median(ratios):.3f} (limit 1.05)")


if __name__ == "__main__":
    main()
