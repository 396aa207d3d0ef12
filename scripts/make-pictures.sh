#!/usr/bin/env bash
# Draws a picture of every mechanism file of the library and links them all
# from its catalogue:  scripts/make-pictures.sh [MECHANISM_DIR [TOOL]]
#
# MECHANISM_DIR (default mechanisms/) holds the data files (every regular
# file whose name has no dot) and the catalogue README.md.  For each file
# NAME the batch tool TOOL (default build/linkmotion-path, built into
# build-pictures/ when there is none) writes pictures/NAME.svg: the
# mechanism at its initial drive value with the path of its traced joint
# over 360 steps.  Pictures of files that are gone are removed.  The
# catalogue's section between the two marker lines below is written anew
# (appended at the end the first time); nothing else of it is touched.
# Exits 1 when a file could not be drawn; the others are drawn all the same.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$(cd "${1:-$top/mechanisms}" && pwd)
tool=${2:-}
steps=360
begin_marker='<!-- pictures: begin (written by scripts/make-pictures.sh) -->'
end_marker='<!-- pictures: end -->'

if [ -z "$tool" ]; then
  tool=$top/build/linkmotion-path
  if [ ! -x "$tool" ]; then
    "$top/scripts/build.sh" "$top/build-pictures" -DLINKMOTION_TESTS=OFF >&2
    tool=$top/build-pictures/linkmotion-path
  fi
fi
case $tool in /*) ;; *) tool=$PWD/$tool ;; esac

names=()
while IFS= read -r name; do names+=("$name"); done < <(
  cd "$dir" && for f in *; do
    [ -f "$f" ] && [ "${f#*.}" = "$f" ] && printf '%s\n' "$f"
  done | LC_ALL=C sort)

mkdir -p "$dir/pictures"
failed=0
drawn=()
for name in "${names[@]}"; do
  log=$(mktemp)
  if (cd "$dir" && "$tool" --svg "pictures/$name.svg.new" -- "$name" "$steps" >/dev/null 2>"$log"); then
    mv "$dir/pictures/$name.svg.new" "$dir/pictures/$name.svg"
    drawn+=("$name")
  else
    rm -f "$dir/pictures/$name.svg.new"
    echo "make-pictures: $name cannot be drawn:" >&2
    tail -n 5 "$log" >&2
    failed=1
  fi
  rm -f "$log"
done

# Pictures of data files that no longer exist.
for svg in "$dir"/pictures/*.svg; do
  [ -e "$svg" ] || continue
  base=$(basename "$svg" .svg)
  [ -f "$dir/$base" ] || rm -f "$svg"
done

# Text of a catalogue cell: markup characters and the cell bar escaped.
cell() { printf '%s' "$1" | sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/|/\\|/g'; }

section=$(mktemp)
{
  echo "$begin_marker"
  echo "## Pictures"
  echo
  echo "Each mechanism at its initial drive value, with the path of its traced"
  echo "joint over $steps steps of the drive, drawn by \`linkmotion-path --svg\`."
  echo "\`scripts/make-pictures.sh\` draws them again and rewrites this section."
  echo
  if [ ${#drawn[@]} -eq 0 ]; then
    echo "(no pictures yet)"
  else
    echo "| File | Title | Picture |"
    echo "|---|---|---|"
    for name in "${drawn[@]}"; do
      title=$(awk 'NR == 1 { print $1; exit }' "$dir/$name")
      printf '| `%s` | %s | <a href="pictures/%s.svg"><img src="pictures/%s.svg" width="240" alt="%s"></a> |\n' \
        "$(cell "$name")" "$(cell "$title")" "$name" "$name" "$(cell "$name")"
    done
  fi
  echo "$end_marker"
} > "$section"

catalogue=$dir/README.md
touch "$catalogue"
new=$(mktemp)
if grep -qxF "$begin_marker" "$catalogue" && grep -qxF "$end_marker" "$catalogue"; then
  awk -v b="$begin_marker" -v e="$end_marker" -v file="$section" '
    $0 == b { while ((getline line < file) > 0) print line; skip = 1; next }
    $0 == e && skip { skip = 0; next }
    !skip { print }' "$catalogue" > "$new"
else
  { cat "$catalogue"; [ -s "$catalogue" ] && echo; cat "$section"; } > "$new"
fi
cat "$new" > "$catalogue"  # keeps the file's mode
rm -f "$new"
rm -f "$section"
echo "make-pictures: ${#drawn[@]} of ${#names[@]} mechanisms drawn into $dir/pictures" >&2
exit $failed
