"""Checks the relative links of README.md and docs/*.md: each names a file of
the tree, and each #anchor a heading of its page (GitHub's heading ids)."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
pages = [root / "README.md", *sorted((root / "docs").glob("*.md"))]
link = re.compile(r"\]\(([^)\s]+)\)")
fence = re.compile(r"^(```|~~~)")


def prose(page):
    """The page's lines outside fenced code blocks."""
    inside = False
    for line in page.read_text(encoding="utf-8").splitlines():
        if fence.match(line):
            inside = not inside
        elif not inside:
            yield line


def anchors(page):
    found, seen = set(), {}
    for line in prose(page):
        m = re.match(r"#+\s+(.*)", line)
        if not m:
            continue
        slug = re.sub(r"[^\w\- ]", "", m.group(1).strip().lower()).replace(" ", "-")
        n = seen.get(slug, 0)
        seen[slug] = n + 1
        found.add(slug if n == 0 else f"{slug}-{n}")
    return found


faults = []
for page in pages:
    for line in prose(page):
        for target in link.findall(line):
            if re.match(r"[a-z]+:", target):
                continue  # http:, https:, mailto:
            path, _, anchor = target.partition("#")
            file = (page.parent / path).resolve() if path else page
            if not file.exists():
                faults.append(f"{page.relative_to(root)}: link to {target}: no file {path}")
            elif anchor and file.suffix == ".md" and anchor not in anchors(file):
                faults.append(f"{page.relative_to(root)}: link to {target}: no heading #{anchor}")
print("\n".join(faults) or f"{len(pages)} pages, every link resolves")
sys.exit(1 if faults else 0)
