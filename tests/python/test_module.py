"""The Python module against the renderer: the same pictures bit for bit, refusals and knobs."""
import os
import re
import subprocess
import warnings
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import orvel

F32 = np.float32
DATA, DISPLAY = (3, 5, 32, 24), (0, 0, 40, 36)  # more room below the data window than above
KNOBS = {"focalPlane": 100, "multiplier": 6.5, "frontmultiplier": 2, "max_kernelsize": 32}


def scene(seed=1):
    """Noise with a bright L (its foot to the right) in front of a far background."""
    rng = np.random.default_rng(seed)
    rgba = rng.random((24, 32, 4), dtype=F32) * 0.2
    rgba[3:15, 4:7], rgba[12:15, 4:20] = 5, 5
    depth = np.where(rgba[..., 0] > 1, F32(60), F32(400)) + rng.random((24, 32), dtype=F32)
    return rgba, depth


def write_exr(path, pixels, names, window=DATA, display=DISPLAY):
    oiio = pytest.importorskip("OpenImageIO")
    spec = oiio.ImageSpec(window[2], window[3], len(names), oiio.FLOAT)
    spec.x, spec.y, spec.channelnames = window[0], window[1], tuple(names)
    spec.full_x, spec.full_y, spec.full_width, spec.full_height = display
    out = oiio.ImageOutput.create(str(path))
    if isinstance(pixels, tuple):  # deep: counts, samples
        spec.deep, deep, (counts, samples) = True, oiio.DeepData(), pixels
        deep.init(counts.size, len(names), (oiio.FLOAT,) * len(names), tuple(names))
        first = np.concatenate([[0], np.cumsum(counts.ravel())])
        for p, n in enumerate(counts.ravel()):
            deep.set_samples(p, int(n))
            for s in range(n):
                for c in range(len(names)):
                    deep.set_deep_value(p, c, s, float(samples[first[p] + s, c]))
        assert out.open(str(path), spec) and out.write_deep_image(deep)
    else:
        assert out.open(str(path), spec) and out.write_image(pixels)
    out.close()
    return str(path)


def run_renderer(tmp_path, *args):
    done = subprocess.run([os.environ["ORVEL"], "render", "-q", "-o", str(tmp_path / "out.exr"), *args],
                          capture_output=True, text=True)
    return done, str(tmp_path / "out.exr")


def read_exr(path):
    oiio = pytest.importorskip("OpenImageIO")
    image = oiio.ImageInput.open(path)
    spec, pixels = image.spec(), image.read_image(oiio.FLOAT)
    image.close()
    return pixels, (spec.x, spec.y, spec.width, spec.height)


def deep_scene():
    rng = np.random.default_rng(2)
    counts = rng.integers(0, 3, (24, 32))
    samples = rng.random((counts.sum(), 5), dtype=F32)
    samples[:, 4] = np.where(samples[:, 0] > 0.5, 60, 400) + samples[:, 1]
    return counts, samples


@pytest.mark.parametrize("case", ["flat", "image kernel", "deep"])
def test_render_equals_the_renderer_of_the_same_exr(case, tmp_path):
    rgba, depth = scene()
    knobs, sets = dict(KNOBS), []
    args = dict(data_window=DATA, display_window=DISPLAY)
    if case == "deep":
        counts, samples = deep_scene()
        got = orvel.render(None, deep=(counts, samples, "RGBAZ"), knobs=knobs, **args)
        sets = ["--deep", write_exr(tmp_path / "deep.exr", (counts, samples), "RGBAZ")]
    else:
        if case == "image kernel":
            kernel = np.zeros((9, 9, 3), F32)
            kernel[0:9, 1:3], kernel[7:9, 1:8] = 1, 1  # an L, as in the image
            knobs["kernelType"] = "Input"
            args["kernel"] = kernel
            sets = ["--kernel", write_exr(tmp_path / "k.exr", kernel, "RGB", (0, 0, 9, 9))]
        got = orvel.render(rgba, depth, knobs=knobs, **args)
        sets.append(write_exr(tmp_path / "in.exr", np.dstack([rgba, depth]), "RGBAZ"))
    done, out = run_renderer(tmp_path, *sets, *[f"--set={k}={v}" for k, v in knobs.items()])
    expected, window = read_exr(out)
    assert done.returncode == 0 and window == (DISPLAY if case == "deep" else DATA)  # deep fills the frame
    expected = expected[DATA[1] - window[1]:, DATA[0] - window[0]:][:24, :32, :4]
    assert got.shape == (24, 32, 4) and np.array_equal(got, expected)
    assert np.abs(got - (rgba if case != "deep" else 0)).max() > 0.5  # something was defocused


def messages(stderr, path):
    lines = [line.split(": ", 1)[1] for line in stderr.splitlines() if line.startswith(("error:", "warning:"))]
    return [line.replace(path, "image") for line in lines]


@pytest.mark.parametrize("case", ["missing depth", "unknown knob", "clamped knob out of range", "bad knob value"])
def test_refusals_and_warnings_carry_the_renderers_text(case, tmp_path):
    rgba, depth = scene()
    knobs = {"unknown knob": {"multiplyer": 2}, "clamped knob out of range": {"max_kernelsize": 1000},
             "bad knob value": {"kernelType": "Hexagon"}}.get(case, {})
    pixels, names = (rgba, "RGBA") if case == "missing depth" else (np.dstack([rgba, depth]), "RGBAZ")
    path = write_exr(tmp_path / "in.exr", pixels, names)
    done, _ = run_renderer(tmp_path, path, *[f"--set={k}={v}" for k, v in knobs.items()])
    got = []
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            orvel.render(rgba, None if case == "missing depth" else depth, knobs=knobs,
                         data_window=DATA, display_window=DISPLAY)
        except orvel.Error as error:
            got = [str(error)]
    assert [str(w.message) for w in caught] + got == messages(done.stderr, path)
    assert (done.returncode != 0) == bool(got) and (case == "clamped knob out of range") == bool(caught)


COUNTS = np.ones((2, 2), int)


@pytest.mark.parametrize("kwargs,error,text", [
    (dict(image=np.zeros((2, 2, 4))), TypeError, "image must be float32, not float64"),
    (dict(image=np.zeros((2, 2), F32)), ValueError, "image must have 3 dimensions (H x W x C), not 2 x 2"),
    (dict(image=np.zeros((2, 2, 4), F32), depth=np.zeros((3, 2), F32)), ValueError, "depth is 3 x 2, but the data"),
    (dict(image=None, deep=(COUNTS, np.zeros((3, 2), F32), "AZ")), ValueError, "add up to 4 samples, but samples has 3"),
    (dict(image=None, deep=(COUNTS, np.zeros((4, 1), F32), "A")), orvel.Error, "'deep' has no Z channel"),
])
def test_wrong_types_and_shapes_are_refused(kwargs, error, text):
    with pytest.raises(error, match=re.escape(text)):
        orvel.render(**kwargs)


def test_four_threads_at_once_give_what_one_at_a_time_gives():
    rgba, depth = scene()
    calls = [dict(knobs=dict(KNOBS, multiplier=m), threads=t) for m, t in [(2, 1), (4, 2), (6, None), (8, 1)]]
    alone = [orvel.render(rgba, depth, **c) for c in calls]
    with ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda c: orvel.render(rgba, depth, **c), calls * 2))
    assert all(np.array_equal(a, b) for a, b in zip(alone * 2, together))


def test_knobs_match_orvel_knobs_entry_for_entry():
    table = subprocess.run([os.environ["ORVEL"], "knobs"], capture_output=True, text=True, check=True).stdout
    lines = table.split("\n\n")[0].splitlines()[2:]  # the node's table, before ktDepthEdges's
    rows = [line.split("\t") for line in lines if not line.startswith(("[", "-\t"))]
    entries = []
    for k in orvel.knobs():
        choices = ", ".join(f'{i} "{c}"' for i, c in enumerate(k.get("choices", [])))
        kind = f"{k['kind']} ({choices})" if choices else k["kind"]
        span = f"{k['range'][0]:g} .. {k['range'][1]:g}" if k["range"] else ""
        entries.append([k["name"], k["label"], kind, k["default"], span, k["tooltip"].replace("\n", "\\n")])
    assert entries == [r[:5] + r[6:] for r in rows] and len(entries) > 30
    assert [k["name"] for k in orvel.knobs() if k["clamped"]] == [r[0] for r in rows if "clamped" in r[5]]


def test_depth_survey_is_what_orvel_depth_prints(tmp_path):
    rgba, depth = scene()
    path = write_exr(tmp_path / "in.exr", np.dstack([rgba, depth]), "RGBAZ", (0, 0, 32, 24), (0, 0, 32, 24))
    printed = subprocess.run([os.environ["ORVEL"], "depth", path, "--set", "multiplier=6.5"],
                             capture_output=True, text=True, check=True).stdout.splitlines()
    survey = orvel.depth_survey(depth, knobs={"multiplier": 6.5})
    table = [line.split()[1:3] for line in printed if line.split()[0] in ("min", "max") or line.split()[0][-1] == "%"]
    assert table == [[f"{p['depth']:.6g}", f"{p['blur']:.4g}"] for p in survey["percentiles"]] and len(table) == 9
    shares = f"in focus (blur at most 1 px) {100 * survey['inFocus']:.1f}%, in front {100 * survey['front']:.1f}%"
    assert printed[-1] == shares + f", behind {100 * survey['behind']:.1f}%" and survey["pixels"] == 32 * 24
