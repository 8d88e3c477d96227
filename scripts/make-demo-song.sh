#!/usr/bin/env bash
# Makes the demo song from nothing but sox: 38 s of stereo FLAC at 120 beats a
# minute, a drum beat (bass drum, snare, hats) over a soft chord, with quiet
# passages between, and a list of its loud onsets beside it.
#   scripts/make-demo-song.sh OUT_DIR   -> OUT_DIR/demo-song.flac, OUT_DIR/demo-song.onsets
set -euo pipefail
out=${1:?usage: make-demo-song.sh OUT_DIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

rate=44100
step=0.25  # an eighth note at 120 beats a minute; a bar is 8 steps (2 s)
sox() { command sox -V1 "$@"; }  # errors only
gen() { sox -n -r $rate -c 2 -b 16 "$@"; }

# The instruments, one step long each, shaped for Sonovar's analysis of
# 8-bit buffers (its colour bands start at 80 % and 61 % of full scale, and
# follow the music's peaks after a few seconds): the bass drum is clipped
# near full scale (red), the snare is a square tone at 70 % (yellow), the
# hats and the chord stay far below both bands.
gen kick.wav synth $step sine 150/45 overdrive 12 fade p 0.002 $step 0.2 norm -1
gen tone.wav synth $step square 190 gain -6 lowpass 3000 norm 0
gen noise.wav synth $step noise gain -6 highpass 1500 norm 0
sox -m -v 0.7 tone.wav -v 0.1 noise.wav snare.wav fade p 0.001 $step 0.22
gen hat.wav synth 0.05 noise gain -6 highpass 7000 fade p 0.001 0.05 0.045 pad 0 0.2 norm -21
gen rest.wav trim 0 $step

# A track of one instrument from a pattern: one character a step, x = hit.
track() {  # name sample pattern
  local files=() k
  for ((k = 0; k < ${#3}; k++)); do
    [[ ${3:k:1} == x ]] && files+=("$2") || files+=(rest.wav)
  done
  sox "${files[@]}" "$1"
}

# Sections: name, bars, then the bass drum, snare and hat pattern of one bar.
sections=(
  "intro 1 ........ ........ x.x.x.x."
  "beat 7 x...x... ..x...x. xxxxxxxx"
  "break 3 ........ ........ ........"
  "drive 6 x..xx... ..x...x. xxxxxxxx"
  "outro 2 ........ ........ ........"
)
onsets=$out/demo-song.onsets
{
  echo "# Loud onsets of demo-song.flac: seconds from the start of the file, then the drum."
  echo "# Lines \"quiet FROM TO\" give the quiet passages."
} > "$onsets"
start=0
parts=()
for s in "${sections[@]}"; do
  read -r name bars kick snare hats <<< "$s"
  kicks="" snares="" hatline=""
  for ((b = 0; b < bars; b++)); do kicks+=$kick snares+=$snare hatline+=$hats; done
  track "$name-kick.wav" kick.wav "$kicks"
  track "$name-snare.wav" snare.wav "$snares"
  track "$name-hat.wav" hat.wav "$hatline"
  sox -m -v 1 "$name-kick.wav" -v 1 "$name-snare.wav" -v 1 "$name-hat.wav" "$name.wav"
  parts+=("$name.wav")
  if [[ $kicks == *x* || $snares == *x* ]]; then
    for ((k = 0; k < ${#kicks}; k++)); do
      t=$(echo "$start + $k * $step" | bc)
      [[ ${kicks:k:1} == x ]] && printf '%.3f bass-drum\n' "$t" >> "$onsets"
      [[ ${snares:k:1} == x ]] && printf '%.3f snare\n' "$t" >> "$onsets"
    done
  else
    printf 'quiet %.3f %.3f\n' "$start" "$(echo "$start + $bars * 8 * $step" | bc)" >> "$onsets"
  fi
  start=$(echo "$start + $bars * 8 * $step" | bc)
done
sox "${parts[@]}" drums.wav

# A soft A minor chord under everything, slowly swelling, faded at the end;
# a little wider in the left channel than in the right.
length=$start
gen chord.wav synth "$length" sine 220 sine 220 synth "$length" sine mix 261.63 sine mix 329.63 \
  synth "$length" sine amod 0.25 50 sine amod 0.3 50 norm -18 fade t 2 "$length" 3
sox -m -v 1 drums.wav -v 1 chord.wav "$out/demo-song.flac"
echo "demo song: $out/demo-song.flac ($length s), onsets in $onsets"
