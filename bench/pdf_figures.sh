#!/usr/bin/env bash
# Times reading a PDF's document packet through its catalog (`brindle dump-xmp`) against
# `qpdf --show-object=trailer` on the same file, for a small and a 50 MB PDF, each with a
# classic table and with a cross-reference stream; then one write of packages into the 50 MB
# file against a plain copy of it. Usage: bench/pdf_figures.sh [build folder] (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
brindle="$PWD/$build/app/brindle"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys, os
def pdf(path, pages, blob):
    objs = ["<< /Type /Catalog /Pages 2 0 R /Metadata 3 0 R >>", None,
            None]
    pkt = ('<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?><x:xmpmeta xmlns:x="adobe:ns:meta/">'
           '<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"><rdf:Description rdf:about=""'
           ' xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:format>application/pdf</dc:format>'
           '</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end="w"?>')
    objs[2] = "<< /Type /Metadata /Subtype /XML /Length %d >>\nstream\n%s\nendstream" % (len(pkt), pkt)
    kids = []
    for i in range(pages):
        page = len(objs) + 1
        kids.append("%d 0 R" % page)
        objs.append("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents %d 0 R >>" % (page + 1))
        data = ("%% %s\n" % ("x" * 70)) * (blob // 73)
        objs.append("<< /Length %d >>\nstream\n%s\nendstream" % (len(data), data))
    objs[1] = "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join(kids), pages)
    out = bytearray(b"%PDF-1.5\n")
    offs = []
    for i, o in enumerate(objs):
        offs.append(len(out))
        out += ("%d 0 obj\n%s\nendobj\n" % (i + 1, o)).encode()
    x = len(out)
    out += ("xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)).encode()
    for o in offs:
        out += ("%010d 00000 n \n" % o).encode()
    out += ("trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, x)).encode()
    open(path, "wb").write(out)
pdf(os.path.join(sys.argv[1], "small-classic.pdf"), 3, 3000)
pdf(os.path.join(sys.argv[1], "big-classic.pdf"), 10000, 5000)
PY
qpdf --object-streams=generate --compress-streams=n "$work/small-classic.pdf" "$work/small-xrefstream.pdf"
qpdf --object-streams=generate --compress-streams=n "$work/big-classic.pdf" "$work/big-xrefstream.pdf"

# Median wall time in ms of N runs of a command.
median() {
    local n=$1; shift
    local times=()
    for _ in $(seq "$n"); do
        local s e
        s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N)
        times+=($(( (e - s) / 1000 )))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {printf "%.1f", a[int((NR+1)/2)]/1000}'
}

home="$work/home"
mkdir -p "$home"
"$brindle" --home "$home" --user bench library import "samples/library/Production_ID.xml" >/dev/null
printf '| file | size | brindle dump-xmp (ms) | qpdf --show-object=trailer (ms) | ratio |\n|---|---|---|---|---|\n'
for f in small-classic small-xrefstream big-classic big-xrefstream; do
    p="$work/$f.pdf"
    ours=$(median 9 "$brindle" --home "$home" --user bench dump-xmp "$p")
    theirs=$(median 9 qpdf --show-object=trailer "$p")
    printf '| %s | %s | %s | %s | %.2f |\n' "$f" "$(du -h "$p" | cut -f1)" "$ours" "$theirs" \
        "$(echo "$ours / $theirs" | bc -l)"
done
big="$work/big-classic.pdf"
copy=$(median 5 cp "$big" "$work/copy.pdf")
cp "$big" "$work/w.pdf"
s=$(date +%s%N); "$brindle" --home "$home" --user bench apply "$work/w.pdf" Production >/dev/null 2>&1; e=$(date +%s%N)
write=$(echo "($e - $s) / 1000000" | bc -l)
grew=$(( $(stat -c%s "$work/w.pdf") - $(stat -c%s "$big") ))
printf '\nwrite into %s: %.1f ms (cp of the file: %s ms); bytes appended: %d\n' \
    "$(du -h "$big" | cut -f1)" "$write" "$copy" "$grew"
