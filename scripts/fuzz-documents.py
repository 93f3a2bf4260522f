#!/usr/bin/env python3
"""Converts mutated copies of real XPS documents and counts what went wrong.

Each run takes one document of the corpus, changes it in one of several ways (bytes flipped,
an attribute given a hostile value, a part cut short or removed, the page nested deeply), and
converts it with a sanitizer build into one of several output types. A run is a crash when a
process of the converter ends by a signal or a sanitizer reports an error, a hang when it is
still running at the time limit, and a leak when LeakSanitizer names memory allocated by our
own code (leaks whose allocation the libraries made are counted apart).

    scripts/fuzz-documents.py --bin build-asan/bin --corpus ../shared/corpus --runs 400

The mutated documents that crashed, hung or leaked are kept in the work folder with their logs.
"""

import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile

HOSTILE_VALUES = [
    "-1", "0", "-0", "1e30", "-1e30", "1e-30", "1e308", "NaN", "Infinity", "999999999999",
    "", "#", "{", "}", "M 0,0 l 1", "M 0,0 L", "F 1 M", "-1,-1", "0,0,0,0", "1 0 0 1 0",
    "(1:2)", "(999999:1)", ";;;;", "x" * 4096, "javascript:alert(1)", "file:///etc/passwd",
    "../../../../etc/passwd", "/Resources/missing.odttf", "#Page99999", "sc#1,2", "ContextColor",
]

# The first allocation frame of a leak that belongs to our code: a source path in one of our
# folders.
OUR_FOLDERS = ("/app/", "/driver/", "/engine/", "/conversion/", "/codecs/", "/image/",
               "/platform/", "/postproc/", "/protocol/", "/settings/")
ALLOCATORS = re.compile(r"\b(malloc|calloc|realloc|operator new|__interceptor_|strdup|posix_memalign)\b")


def xml_parts(names):
    return [n for n in names if n.lower().endswith((".fpage", ".fdoc", ".fdseq", ".xml", ".rels",
                                                    ".dict", ".xaml", ".frag", ".content_types].xml"))]


def decode(data):
    """The text of a markup part and the encoding to write it back in."""
    for bom, encoding in ((b"\xff\xfe", "utf-16-le"), (b"\xfe\xff", "utf-16-be")):
        if data.startswith(bom):
            return data[len(bom):].decode(encoding, "replace"), bom, encoding
    return data.decode("utf-8", "replace"), b"", "utf-8"


def encode(text, bom, encoding):
    return bom + text.encode(encoding, "replace")


def mutate(parts, rng):
    """Changes parts (name -> bytes) in place; returns what was done."""
    names = list(parts)
    texts = xml_parts(names) or names
    kind = rng.choice(["flip", "attribute", "attribute", "truncate", "remove", "nest", "duplicate"])
    if kind == "flip":
        name = rng.choice(names)
        data = bytearray(parts[name])
        for _ in range(rng.randint(1, 16)):
            if data:
                data[rng.randrange(len(data))] = rng.randrange(256)
        parts[name] = bytes(data)
        return f"flip {name}"
    if kind == "attribute":
        pages = [n for n in texts if n.lower().endswith(".fpage")]
        name = rng.choice(pages if pages and rng.random() < 0.7 else texts)
        text, *encoding = decode(parts[name])
        found = list(re.finditer(r'(\w[\w.:]*)="([^"]*)"', text))
        if not found:
            return "attribute (none)"
        changes = []
        for match in rng.sample(found, min(len(found), rng.randint(1, 3))):
            value = rng.choice(HOSTILE_VALUES)
            changes.append((match, value))
        for match, value in sorted(changes, key=lambda c: -c[0].start(2)):
            text = text[:match.start(2)] + value + text[match.end(2):]
        parts[name] = encode(text, *encoding)
        return f"attribute {name}: " + ", ".join(f"{m.group(1)}={v[:20]!r}" for m, v in changes)
    if kind == "truncate":
        name = rng.choice(names)
        parts[name] = parts[name][:rng.randrange(len(parts[name]) + 1)]
        return f"truncate {name}"
    if kind == "remove":
        name = rng.choice(names)
        del parts[name]
        return f"remove {name}"
    pages = [n for n in names if n.lower().endswith(".fpage")] or texts
    name = rng.choice(pages)
    text, *encoding = decode(parts[name])
    if kind == "nest":
        opening = re.search(r"<FixedPage\b[^>]*>", text)
        depth = rng.choice([300, 3000, 30000, 60000])
        if not opening:
            return "nest (no page)"
        text = text[:opening.end()] + "<Canvas>" * depth + "</Canvas>" * depth + text[opening.end():]
        parts[name] = encode(text, *encoding)
        return f"nest {name} {depth}"
    # duplicate: a stretch of the page repeated many times
    elements = list(re.finditer(r"<(Path|Glyphs)\b[^>]*/>|<(Path|Glyphs)\b[^>]*>.*?</\2>", text, re.S))
    if not elements:
        return "duplicate (none)"
    element = rng.choice(elements)
    times = rng.choice([10, 1000, 20000])
    text = text[:element.end()] + element.group(0) * times + text[element.end():]
    parts[name] = encode(text, *encoding)
    return f"duplicate {name} {element.group(1) or element.group(2)} x{times}"


def read_package(path):
    with zipfile.ZipFile(path) as package:
        return {info.filename: package.read(info) for info in package.infolist()
                if info.filename and not info.filename.endswith("/")}


def write_package(parts, path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as package:
        for name, data in parts.items():
            package.writestr(name, data)


def classify_reports(folder):
    """(errors, our leaks, library leaks) found in the sanitizer logs of folder."""
    errors, ours, theirs = [], 0, 0
    for entry in os.listdir(folder):
        if not entry.startswith("sanitizer."):
            continue
        with open(os.path.join(folder, entry), errors="replace") as log:
            text = log.read()
        if "runtime error:" in text or re.search(r"ERROR: AddressSanitizer(?!.*leaks)", text):
            errors.append(entry)
        for block in re.split(r"\n(?=(?:Direct|Indirect) leak of)", text):
            if not re.match(r"(Direct|Indirect) leak of", block):
                continue
            frames = re.findall(r"#\d+ 0x[0-9a-f]+ in (\S+) (\S*)", block)
            first = next((f for f in frames if not ALLOCATORS.search(f[0])), None)
            if first and any(folder_name in first[1] for folder_name in OUR_FOLDERS):
                ours += 1
            else:
                theirs += 1
    return errors, ours, theirs


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", required=True, help="folder of a sanitizer build's programs")
    parser.add_argument("--corpus", required=True, help="folder searched for .xps documents")
    parser.add_argument("--runs", type=int, default=400)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--limit", type=int, default=400, help="seconds before a run is a hang")
    parser.add_argument("--work", default=None, help="where failing documents are kept")
    parser.add_argument("--max-size", type=int, default=3_000_000,
                        help="documents larger than this many bytes are left out")
    args = parser.parse_args()

    documents = sorted(os.path.join(root, name) for root, _, names in os.walk(args.corpus)
                       for name in names if name.lower().endswith(".xps")
                       and os.path.getsize(os.path.join(root, name)) <= args.max_size)
    sources = []
    for document in documents:
        try:
            sources.append((document, read_package(document)))
        except Exception:  # a package too broken to read cannot be mutated as one
            pass
    if not sources:
        sys.exit(f"no readable .xps documents under {args.corpus}")
    converter = os.path.join(os.path.abspath(args.bin), "xpsconv")
    work = args.work or tempfile.mkdtemp(prefix="xpsconv-fuzz-")
    os.makedirs(work, exist_ok=True)
    rng = random.Random(args.seed)
    types = [["-t", "pdf"], ["-t", "png"], ["-t", "tif", "-mm"], ["-t", "jpg"],
             ["-t", "pdf", "-pu", "x", "-wt", "overlay"], ["-t", "bmp", "-mb", "1"]]
    counts = {"runs": 0, "crashes": 0, "hangs": 0, "our leaks": 0, "library leaks": 0}
    statuses = {}
    started = time.monotonic()
    for run in range(args.runs):
        source, parts = rng.choice(sources)
        parts = dict(parts)
        what = mutate(parts, rng)
        folder = os.path.join(work, f"run{run:04d}")
        os.makedirs(folder)
        document = os.path.join(folder, "doc.xps")
        write_package(parts, document)
        options = rng.choice(types)
        command = [converter, "-i", document, "-o", os.path.join(folder, "out"), "--dpi", "72", *options]
        environment = dict(os.environ)
        log_path = os.path.join(folder, "sanitizer")
        environment["ASAN_OPTIONS"] = f"log_path={log_path}:detect_leaks=1"
        environment["UBSAN_OPTIONS"] = f"log_path={log_path}:print_stacktrace=1"
        os.makedirs(os.path.join(folder, "out"))
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   env=environment, start_new_session=True)
        try:
            output, _ = process.communicate(timeout=args.limit)
            hung = False
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            output, _ = process.communicate()
            hung = True
        errors, ours, theirs = classify_reports(folder)
        crashed = process.returncode < 0 or process.returncode >= 128 or bool(errors)
        counts["runs"] += 1
        counts["crashes"] += crashed and not hung
        counts["hangs"] += hung
        counts["our leaks"] += ours
        counts["library leaks"] += theirs
        statuses[process.returncode] = statuses.get(process.returncode, 0) + 1
        keep = crashed or hung or ours
        with open(os.path.join(folder, "run.txt"), "w") as note:
            note.write(f"source {source}\nmutation {what}\ncommand {' '.join(command)}\n"
                       f"status {process.returncode} hung {hung} errors {errors} leaks {ours}/{theirs}\n\n")
            note.write(output.decode("utf-8", "replace")[-20000:])
        verdict = "HANG" if hung else "CRASH" if crashed else "LEAK" if ours else "ok"
        print(f"{run:4d} {verdict:5s} exit {process.returncode:3d} {os.path.basename(source)} "
              f"{' '.join(options)}: {what}", flush=True)
        if not keep:
            shutil.rmtree(folder)
    counts["exit statuses"] = dict(sorted(statuses.items()))
    print(f"\n{counts} in {time.monotonic() - started:.0f} s; kept runs are in {work}")
    return 1 if counts["crashes"] or counts["hangs"] or counts["our leaks"] else 0


if __name__ == "__main__":
    sys.exit(main())
