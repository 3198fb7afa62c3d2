# Renders a GLB to a PNG for eyeballing fracture output.
#
#   blender -b --factory-startup --python tests/blender/render_glb.py -- \
#       FILE.glb OUT.png [WIDTH HEIGHT]
#
# Cycles on the CPU: Eevee needs an OpenGL context, which headless machines
# only have when Mesa's EGL happens to be installed, so it is not relied on.
import math
import sys
import traceback

# Debian's Blender 3.4 glTF importer still uses numpy.bool, which numpy 1.24
# removed; restore the alias before the importer module is loaded.
import numpy
numpy.bool = bool

import bpy
from mathutils import Vector


def mesh_bounds(objs):
    pts = []
    for o in objs:
        n = len(o.data.vertices)
        co = numpy.empty(n * 3)
        o.data.vertices.foreach_get("co", co)
        m = numpy.array(o.matrix_world)
        pts.append(co.reshape(n, 3) @ m[:3, :3].T + m[:3, 3])
    pts = numpy.concatenate(pts)
    return Vector(pts.min(axis=0)), Vector(pts.max(axis=0))


def plain_material(name, rgb):
    mat = bpy.data.materials.new(name)
    mat.use_nodes = True
    mat.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (*rgb, 1)
    return mat


def main():
    argv = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
    if len(argv) not in (2, 4):
        print("usage: blender -b --factory-startup --python render_glb.py -- FILE.glb OUT.png [W H]")
        return 2
    glb, out = argv[0], argv[1]
    width, height = (int(argv[2]), int(argv[3])) if len(argv) == 4 else (800, 600)

    bpy.ops.wm.read_factory_settings(use_empty=True)  # drop the default cube/camera/light
    bpy.ops.import_scene.gltf(filepath=glb)
    bpy.context.view_layer.update()
    meshes = [o for o in bpy.data.objects if o.type == "MESH" and len(o.data.vertices)]
    if not meshes:
        raise RuntimeError(f"{glb}: no mesh objects to render")
    lo, hi = mesh_bounds(meshes)
    centre, radius = (lo + hi) / 2, max((hi - lo).length / 2, 1e-6)

    scene = bpy.context.scene
    r = scene.render
    r.resolution_x, r.resolution_y, r.resolution_percentage = width, height, 100
    r.image_settings.file_format = "PNG"
    r.filepath = out

    # Ground just under the lowest point (Blender is Z-up after import).
    bpy.ops.mesh.primitive_plane_add(size=radius * 20, location=(centre.x, centre.y, lo.z - 1e-3 * radius))
    bpy.context.object.data.materials.append(plain_material("ground", (0.6, 0.6, 0.6)))

    # Fit the bounding sphere into the narrower field of view.
    cam_data = bpy.data.cameras.new("cam")
    cam = bpy.data.objects.new("cam", cam_data)
    scene.collection.objects.link(cam)
    fov = 2 * math.atan(math.tan(cam_data.angle / 2) * min(width, height) / max(width, height))
    view = Vector((1.0, -1.4, 0.9)).normalized()
    cam.location = centre + view * (radius / math.sin(fov / 2) * 1.05)
    cam.rotation_euler = (-view).to_track_quat("-Z", "Y").to_euler()
    cam_data.clip_start, cam_data.clip_end = radius * 1e-3, radius * 100
    scene.camera = cam

    sun = bpy.data.objects.new("sun", bpy.data.lights.new("sun", "SUN"))
    sun.data.energy = 3.0
    sun.rotation_euler = (math.radians(40), math.radians(15), math.radians(30))
    scene.collection.objects.link(sun)
    # Soft grey sky so faces turned from the sun are not black.
    scene.world = bpy.data.worlds.new("sky")
    scene.world.use_nodes = True
    scene.world.node_tree.nodes["Background"].inputs["Color"].default_value = (0.5, 0.55, 0.6, 1)
    scene.world.node_tree.nodes["Background"].inputs["Strength"].default_value = 0.6

    # Debian's Cycles has no OpenImageDenoise, so noise is kept down with
    # adaptive sampling and few bounces instead of a denoiser.
    r.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = 32
    scene.cycles.use_adaptive_sampling = True
    scene.cycles.use_denoising = False
    scene.cycles.max_bounces = 3
    scene.view_settings.view_transform = "Standard"  # keep piece colours as authored
    bpy.ops.render.render(write_still=True)
    print(f"render_glb: {len(meshes)} meshes -> {out} ({width}x{height})")
    return 0


try:
    code = main()
except Exception:
    traceback.print_exc()
    code = 1
sys.stdout.flush()
sys.exit(code)
