#!/bin/bash
# Encodes the MP3 test files from a synthesised tone: 2 s of a 1 kHz sine at
# half scale, 44100 Hz stereo, 128 kbit/s, without tags and with an ID3v2 tag.
set -euo pipefail
out="$1"
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -n -r 44100 -c 2 -b 16 "$tmp/tone.wav" synth 2 sine 1000 vol 0.5
lame --quiet -b 128 --noreplaygain "$tmp/tone.wav" "$tmp/tone.mp3"
lame --quiet -b 128 --noreplaygain --id3v2-only --pad-id3v2-size 512 --tt "Test tone" --ta "Engine tests" \
  "$tmp/tone.wav" "$tmp/tone_id3.mp3"
mv "$tmp/tone.mp3" "$tmp/tone_id3.mp3" "$out/"
