#!/usr/bin/env bash
# The README's recipes for a large grid, run for real on a smaller grid: GNU
# parallel over --shard, or the Slurm job array. The joined table must equal,
# byte for byte, the one the sweep writes for the whole grid.
#
#   readme_recipes.sh README.md BUILD_DIR SCENARIO_DIR parallel|slurm
#
# The recipes are taken from the README itself (the code blocks after "With
# GNU parallel" and "As a Slurm job array"), so the test fails when they stop
# working. Exit status 77 (skipped) when the tool is absent: `parallel`, or a
# Slurm controller that answers `sinfo`.
set -euo pipefail
readme=$1 build=$2 scenario=$3 recipe=$4

readme_grid='--vary servers=5:200 --vary arrivalRate=1:150:0.25'
test_grid='--vary servers=5:30 --vary arrivalRate=1:30:0.5'  # 26 x 59 = 1534 rows

# Code block number $2 (counted from 1) after the first line holding $1.
code_block() {
  awk -v marker="$1" -v wanted="$2" '
    index($0, marker) { found = 1 }
    found && !inside && /^```sh$/ { if (++count == wanted) inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }' "$readme"
}

# The block with the README's grid replaced by the test's.
recipe_block() {
  local text
  text=$(code_block "$1" "$2")
  if [[ $2 == 1 && $text != *"$readme_grid"* ]]; then
    echo "the README's recipe no longer uses the grid '$readme_grid'; update this test" >&2
    exit 1
  fi
  printf '%s\n' "${text//"$readme_grid"/"$test_grid"}"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$scenario"/INPUT.DAT "$work"/
[ -f "$scenario"/BINOMDIST.DAT ] && cp "$scenario"/BINOMDIST.DAT "$work"/
export PATH="$build:$PATH"
cd "$work"

case $recipe in
  parallel)
    command -v parallel >/dev/null || { echo "GNU parallel is not installed" >&2; exit 77; }
    bash -euo pipefail -c "$(recipe_block 'With GNU parallel' 1)" 2> parallel.err \
      || { cat parallel.err >&2; exit 1; }
    grid_and_thresholds=$(code_block 'With GNU parallel' 1 | sed -n "s/^grid='\(.*\)'$/\1/p")
    # shellcheck disable=SC2086
    queuecalc-sweep ${grid_and_thresholds//"$readme_grid"/"$test_grid"} > whole.csv
    ;;
  slurm)
    command -v sbatch >/dev/null && timeout 10 sinfo -h >/dev/null 2>&1 \
      || { echo "no Slurm controller answers" >&2; exit 77; }
    recipe_block 'As a Slurm job array' 1 > sweep.sh
    bash -euo pipefail -c "$(recipe_block 'As a Slurm job array' 2)"
    # The join job is the last one submitted; wait until no job of this folder is left.
    for _ in $(seq 1 300); do
      [ -z "$(squeue -h -o '%i %Z' | awk -v d="$work" '$2 == d')" ] && break
      sleep 1
    done
    [ -f table.csv ] || { echo "the join job wrote no table" >&2; cat slurm-*.out >&2 || true; exit 1; }
    sed -n 's/^queuecalc-sweep \(.*\) \\$/\1/p' sweep.sh > whole.args
    # shellcheck disable=SC2046
    queuecalc-sweep $(cat whole.args) > whole.csv
    ;;
  *) echo "unknown recipe $recipe" >&2; exit 2 ;;
esac

rows=$(($(wc -l < whole.csv) - 1))
if ! cmp -s table.csv whole.csv; then
  echo "the joined table differs from the whole one ($rows rows):" >&2
  diff table.csv whole.csv | head -5 >&2
  exit 1
fi
echo "$recipe recipe: the joined table equals the whole one ($rows rows)"
