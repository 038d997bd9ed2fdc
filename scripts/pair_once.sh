#!/usr/bin/env bash
# Times two one-off runs of a benchmark's --once mode against each other:
# PAIRS pairs, alternating which of the two runs first, then the median
# processor time of each and the median of the pairwise ratios A/B.  The
# time taken is the first one a run prints ("..., 1.234 s, ..." from
# za38_factor_bench; the analysis from ma48_analyse_bench).  On a shared
# machine a solver's time moves by a third between runs; pairing and
# medians keep a comparison steady where single runs do not.
#   scripts/pair_once.sh PAIRS 'ARGS_A' 'ARGS_B' [BENCH]
# e.g.
#   scripts/pair_once.sh 9 --once=random_5000x5:za38:li=569073:lv=25933630 \
#       --once=random_5000x5:ma48:la=2883244
#   scripts/pair_once.sh 7 --once=dw4096:la=1152040 --once=dw4096:la=2000000 \
#       build/bench/ma48_analyse_bench
set -euo pipefail
if [ $# -lt 3 ]; then
  sed -n '2,14p' "$0"
  exit 2
fi
pairs=$1 a=$2 b=$3
bench=${4:-build/bench/za38_factor_bench}
seconds() {  # the first time the run prints: "... 1.234 s, ..."
  "$bench" "$1" | awk 't == "" && match($0, / [0-9][0-9.]* s,/) {t = substr($0, RSTART + 1, RLENGTH - 4)} END {print t}'
}
ta=() tb=()
for ((i = 1; i <= pairs; ++i)); do
  if ((i % 2)); then x=$(seconds "$a"); y=$(seconds "$b"); else y=$(seconds "$b"); x=$(seconds "$a"); fi
  if [ -z "$x" ] || [ -z "$y" ]; then echo "pair_once: a run printed no time" >&2; exit 1; fi
  ta+=("$x") tb+=("$y")
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
ratios=()
for ((i = 0; i < pairs; ++i)); do ratios+=("$(awk -v x="${ta[i]}" -v y="${tb[i]}" 'BEGIN {printf "%.4f", x / y}')"); done
echo "A: median $(median "${ta[@]}") s over $pairs runs ($a)"
echo "B: median $(median "${tb[@]}") s over $pairs runs ($b)"
echo "A/B: median $(median "${ratios[@]}") (pair by pair: ${ratios[*]})"
