#!/usr/bin/env python3
"""The same x, y rows drawn by plotvane and by matplotlib, side by side.

Writes a SQLite table of ROWS rows (a slow wave in a band of noise), a form
that draws it as a 400 x 250 line or points chart, and then, one after the
other in each round so that both see the same load:

  plotvane   `plotvane render` of the form to PNG: the whole process, reading
             the rows from SQLite, drawing and encoding;
  matplotlib the rows read from SQLite, a 4 x 2.5 in figure at 100 dpi,
             plot or scatter, savefig to PNG (the interpreter's start and
             matplotlib's import are not counted).

It prints the median seconds of each, plotvane's largest resident memory,
and their ratio, and leaves the two pictures in the work folder
(plotvane-line.png, matplotlib-line.png, ...). A second plotvane (OTHER, say
a build of the code before a change) is timed in the same rounds beside the
first.

matplotlib is optional: on Debian `apt-get install python3-matplotlib`.
Without it only plotvane is timed.

  bench/compare-matplotlib.py build-release/tools/plotvane [ROWS] [ROUNDS] [OTHER]
"""

import math
import os
import random
import sqlite3
import statistics
import subprocess
import sys
import tempfile
import time

FORM = """object BigModule: TDataModule
  object BigQuery: TSQLiteQuery
    DatabaseName = 'big.db'
    SQL.Strings = (
      'SELECT x, y FROM t')
    Active = True
  end
  object BigSource: TDataSource
    DataSet = BigQuery
  end
  object BigChart: TNorq_DBPlotvane
    Width = 400
    Height = 250
    DataSource = BigSource
    XValueSource = 'x'
    YValueSource = 'y'
    SeriesType = {kind}
    SeriesColorMode = scSingleColor
    LegendVisible = False
    MarksVisible = False
  end
end
"""


def make_table(path, rows):
    db = sqlite3.connect(path)
    db.execute("CREATE TABLE t (x REAL, y REAL)")
    rnd = random.Random(1)
    db.executemany(
        "INSERT INTO t VALUES (?, ?)",
        ((i, math.sin(i * 6.283 * 3 / rows) * 100 + rnd.random() * 20) for i in range(rows)),
    )
    db.commit()
    db.close()


def time_plotvane(plotvane, form, out):
    """Seconds of the whole process and its largest resident set in MB."""
    start = time.perf_counter()
    proc = subprocess.Popen([plotvane, "render", form, "-o", out])
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{plotvane} render {form} failed with {proc.returncode}")
    return time.perf_counter() - start, usage.ru_maxrss / 1024


def time_matplotlib(plt, db_path, scatter, out):
    start = time.perf_counter()
    db = sqlite3.connect(db_path)
    xs, ys = zip(*db.execute("SELECT x, y FROM t"))
    db.close()
    fig, ax = plt.subplots(figsize=(4, 2.5), dpi=100)
    if scatter:
        ax.scatter(xs, ys, s=4)
    else:
        ax.plot(xs, ys, linewidth=2)
    fig.savefig(out)
    plt.close(fig)
    return time.perf_counter() - start


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    plotvane = os.path.abspath(sys.argv[1])
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    other = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 else None
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        plt = None
        print("matplotlib is not installed (Debian: apt-get install python3-matplotlib): timing plotvane only")
    work = tempfile.mkdtemp(prefix="plotvane-compare-")
    db_path = os.path.join(work, "big.db")
    make_table(db_path, rows)
    print(f"{rows} rows in {db_path}; medians of {rounds} rounds")
    for kind, scatter, name in (("stLine", False, "line"), ("stPoint", True, "points")):
        form = os.path.join(work, f"{name}.form")
        with open(form, "w") as f:
            f.write(FORM.format(kind=kind))
        ours, others, theirs = [], [], []
        for _ in range(rounds):
            ours.append(time_plotvane(plotvane, form, os.path.join(work, f"plotvane-{name}.png")))
            if other:
                others.append(time_plotvane(other, form, os.path.join(work, f"other-{name}.png")))
            if plt:
                theirs.append(time_matplotlib(plt, db_path, scatter, os.path.join(work, f"matplotlib-{name}.png")))
        t = statistics.median(s for s, _ in ours)
        line = f"{name:7s} plotvane {t:.3f} s, {max(m for _, m in ours):.0f} MB"
        if others:
            o = statistics.median(s for s, _ in others)
            line += f"   other {o:.3f} s, {max(m for _, m in others):.0f} MB   other / plotvane {o / t:.1f}"
        if theirs:
            m = statistics.median(theirs)
            line += f"   matplotlib {m:.3f} s   matplotlib / plotvane {m / t:.1f}"
        print(line)
    print(f"pictures in {work}")


if __name__ == "__main__":
    main()
