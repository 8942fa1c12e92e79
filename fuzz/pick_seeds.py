#!/usr/bin/env python3
"""Replaces the kept seeds fuzz/seeds/<target>/ with at most 24 inputs of a run.

    fuzz/pick_seeds.py TARGET [BUILD]        (BUILD defaults to build-fuzz)

The target's run corpus, generated seeds and kept seeds are merged into a
fresh directory (libFuzzer -set_cover_merge=1, whose control file lists
every feature of every input), and the kept seeds are chosen greedily from
them: each time the input adding the most features not yet covered (the
smaller on a tie), until 24 are chosen or none adds anything.
"""
import hashlib
import pathlib
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
KEEP = 24


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: fuzz/pick_seeds.py TARGET [BUILD]")
    target = sys.argv[1]
    build = ROOT / (sys.argv[2] if len(sys.argv) == 3 else "build-fuzz")
    kept = ROOT / "fuzz" / "seeds" / target
    sources = [d for d in (ROOT / "fuzz" / "corpus-run" / target, build / "corpus" / target, kept) if d.is_dir()]
    with tempfile.TemporaryDirectory() as tmp:
        merged = pathlib.Path(tmp) / "merged"
        merged.mkdir()
        control = pathlib.Path(tmp) / "control"
        extra = ["-rss_limit_mb=1024", "-malloc_limit_mb=16"] if target == "json" else ["-rss_limit_mb=2048"]
        subprocess.run(["nice", "-n", "10", str(build / "fuzz" / f"fuzz_{target}"), "-set_cover_merge=1",
                        f"-merge_control_file={control}", *extra, str(merged), *map(str, sources)],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        lines = control.read_text().splitlines()
        count = int(lines[0])
        files = lines[2:2 + count]
        features = {}
        for line in lines[2 + count:]:
            part = line.split()
            if part and part[0] == "FT":
                features[int(part[1])] = set(map(int, part[2:]))
        total = set().union(*features.values()) if features else set()
        size = {i: pathlib.Path(files[i]).stat().st_size for i in features}
        chosen, covered = {}, set()
        while len(chosen) < KEEP and features:
            best = max(features, key=lambda i: (len(features[i] - covered), -size[i]))
            if not features[best] - covered:
                break
            data = pathlib.Path(files[best]).read_bytes()
            chosen[hashlib.sha1(data).hexdigest()] = data
            covered |= features.pop(best)
        shutil.rmtree(kept, ignore_errors=True)
        kept.mkdir(parents=True)
        for name, data in chosen.items():
            (kept / name).write_bytes(data)
        print(f"{target}: merged corpus {len(list(merged.iterdir()))} inputs, {len(total)} features; "
              f"kept {len(chosen)} seeds covering {len(covered)}")


if __name__ == "__main__":
    main()
