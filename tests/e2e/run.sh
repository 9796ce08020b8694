#!/usr/bin/env bash
# End-to-end tests of the dialog programs: starts the real brevox.exe and
# brevox-species.exe under Wine (in a virtual X display when there is no
# DISPLAY) and drives their windows from outside with brevox-driver.exe, on
# synthetic ROM images and WAVs written by brevox-gen.
#
# Usage: tests/e2e/run.sh BUILD_DIR     (BUILD_DIR: the mingw build, e.g. build/mingw)
# BREVOX_GEN may name a brevox-gen already built for Linux; otherwise it is
# built in build/default. Each run uses its own Wine prefix in a temporary
# folder, removed afterwards with everything the run started.
set -euo pipefail

[[ $# -eq 1 ]] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
brevox=$build/win/brevox.exe
species=$build/win/brevox-species.exe
driver=$build/tests/e2e/brevox-driver.exe
for program in "$brevox" "$species" "$driver"; do
  [[ -f $program ]] || { echo "run.sh: $program is missing; build the mingw preset first" >&2; exit 2; }
done

source "$root/scripts/wine-env.sh"
tmp=$(mktemp -d /tmp/brevox-e2e.XXXXXX)
clean_up_on_exit "$tmp"

passed=0
failed=0
result() {  # result NAME STATUS [LOG]: counts one test, shows the log of a failure
  if [[ $2 -eq 0 ]]; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1"
    [[ -z ${3:-} ]] || sed 's/^/  /' "$3"
    failed=$((failed + 1))
  fi
}

for program in "$brevox" "$species"; do
  status=0
  system_dlls_only "$program" || status=1
  result "$(basename "$program") needs only system DLLs" $status
done

# Test data.
gen=${BREVOX_GEN:-}
if [[ -z $gen ]]; then
  (cd "$root" && { [[ -f build/default/CMakeCache.txt ]] || cmake --preset default >/dev/null; } &&
    cmake --build build/default --target brevox-gen >/dev/null)
  gen=$root/build/default/tools/demo/brevox-gen
fi
mkdir -p "$tmp/data" "$tmp/work" "$tmp/scripts"
"$gen" e2e "$tmp/data"
"$gen" demo "$tmp/data"
# shellcheck source=/dev/null
source "$tmp/data/expect.sh"

start_display "$tmp/xvfb.log"
W=$(winpath "$tmp/work")
D=$(winpath "$tmp/data")
WQ=${W//\\/\\\\}  # W inside a quoted text, its backslashes escaped
EXE=$(winpath "$brevox")
SPECIES=$(winpath "$species")
PLAYED=$W\\played.txt

echo "Preparing a Wine prefix in $tmp/prefix"
start_wine "$tmp/prefix"
unmanaged_windows
# Autoplay hands a WAV to the shell: let the "player" be the driver, which
# writes down the file it was given.
wine_reg 'HKCR\.wav' /ve /d BrevoxTest.Sound
wine_reg 'HKCR\BrevoxTest.Sound\shell\open\command' /ve /d "\"$(winpath "$driver")\" record \"$PLAYED\" \"%1\""

# scenario NAME: runs the driver script read from standard input on a fresh
# copy of the test data.
scenario() {
  local name=$1 script=$tmp/scripts/$1.txt log=$tmp/scripts/$1.log
  cat >"$script"
  rm -rf "$tmp/work" && cp -r "$tmp/data" "$tmp/work"
  local status=0
  timeout 300 wine "$driver" "$(winpath "$script")" >"$log" 2>&1 || status=$?
  result "$name" $status "$log"
}

OVERWRITE_TEXT='Le fichier WAV existe d\xe9ja. Voulez-vous le remplacer?'
LONGER_TEXT='Le nouveau son est plus long que l'"'"'ancien et \xe9crasera les donn\xe9es qui le suivent. Continuer?'

scenario startup <<EOF
start $EXE $W
text 1002 "Chargez votre Rom"
text 1003 "Chargez un son WAV"
text 1005 "0"
text 1009 "1"
text 1015 "0"
text 1011 "Inconnue"
text 1017 "0 octets"
text 1018 "0 octets"
text 1010 "&V\xe9rifier"
checked 1008 1
checked 1012 1
checked 1013 1
focus 1010
# Escape and Enter in an edit field reach no command.
setfocus 1002
key 1002 ESCAPE
setfocus 1009
key 1009 ENTER
idle
text 1002 "Chargez votre Rom"
text 1009 "1"
# Tab moves on to "&Repointer", and Enter presses the button with the focus.
# (Wine makes a focused button the default only once the focus has moved by
# keyboard, so Enter at start, on "&Vérifier", is not tried here.)
setfocus 1010
key 1010 TAB
key 1014 ENTER
box "Erreur!" "Impossible d'ouvrir la Rom!" OK
focus 1014
click 1001
box "A propos" "Brevox GUIVersion2\r\nPar l'\xe9quipe Brevox, logiciel libre." OK
nobox
close
exit 0
EOF

scenario browse <<EOF
start $EXE $W
click 1006
filter "Roms GBA (*.gba)"
pick CANCEL
nobox
text 1002 "Chargez votre Rom"
text 1011 "Inconnue"
click 1006
pick $W\\cries.gba
text 1002 $W\\cries.gba
text 1011 "Inconnu. Table trouv\xe9e \xe0 95%"
text 1005 $TABLE
# A file that cannot be opened is only named.
click 1006
pick $W\\nothing.gba
nobox
text 1002 $W\\nothing.gba
text 1011 "Inconnu. Table trouv\xe9e \xe0 95%"
click 1007
filter "Sons WAV encod\xe9s en 8Bit et 11kHz (*.wav)"
pick $W\\new.wav
text 1003 $W\\new.wav
click 1007
pick CANCEL
text 1003 $W\\new.wav
close
exit 0
EOF

scenario verify <<EOF
start $EXE $W
set 1002 $W\\axve.gba
click 1010
text 1011 "Rubis US v1.0"
text 1005 "452590"
set 1002 $W\\axve-rev2.gba
click 1010
text 1011 "Rubis US v1.1"
text 1005 "4525A4"
set 1002 $W\\axpe-rev2.gba
click 1010
text 1011 "Saphir US v1.1"
text 1005 "452604"
set 1002 $W\\cries.gba
click 1010
nobox
text 1011 "Inconnu. Table trouv\xe9e \xe0 95%"
text 1005 $TABLE
set 1002 $W\\unknown.gba
click 1010
text 1011 "Version inconnue"
text 1005 $TABLE
set 1002 $W\\nothing.gba
click 1010
box "Erreur!" "Fichier invalide!" OK
text 1011 "Version inconnue"
close
exit 0
EOF

cp "$tmp/data/longer.wav" "$tmp/data/existing.wav"
scenario dump <<EOF
start $EXE $W
set 1002 $W\\cries.gba
click 1010
set 1003 $W\\out.wav
click 1000
nobox
text 1015 $ENTRY0
same $W\\out.wav $W\\cry1.wav
played $PLAYED $W\\out.wav
# An existing WAV: No keeps it, Yes replaces it.
set 1003 $W\\existing.wav
click 1000
box "Question" "$OVERWRITE_TEXT" NO
same $W\\existing.wav $W\\longer.wav
click 1000
box "Question" "$OVERWRITE_TEXT" YES
same $W\\existing.wav $W\\cry1.wav
played $PLAYED $W\\out.wav $W\\existing.wav
toggle 1012
# Without confirmations an existing WAV is replaced at once.
toggle 1013
set 1003 $W\\longer.wav
click 1000
nobox
same $W\\longer.wav $W\\cry1.wav
# Without "Table" the sample offset is used as typed.
toggle 1008
set 1009 "5"
set 1015 $ENTRY0
set 1003 $W\\typed.wav
click 1000
same $W\\typed.wav $W\\cry1.wav
# Failures are shown, and leave no WAV behind.
set 1015 "FFFFFF"
set 1003 $W\\beyond.wav
click 1000
box "Erreur!" "Fichier invalide!" OK
missing $W\\beyond.wav
set 1002 $W\\nothing.gba
set 1003 $W\\none.wav
click 1000
box "Erreur!" "Fichier invalide!" OK
missing $W\\none.wav
toggle 1008
click 1000
box "Erreur!" "Fichier invalide!" OK
nobox
missing $W\\none.wav
played $PLAYED $W\\out.wav $W\\existing.wav
# With no WAV chosen, the field's own text names the file.
set 1002 $W\\cries.gba
set 1003 "Chargez un son WAV"
set 1009 "1"
click 1000
same "$WQ\\\\Chargez un son WAV" $W\\cry1.wav
close
exit 0
EOF

scenario encode <<EOF
start $EXE $W
toggle 1012
set 1002 $W\\cries.gba
click 1010
set 1003 $W\\longer.wav
click 1004
box "Question" "$LONGER_TEXT" NO
same $W\\cries.gba $D\\cries.gba
click 1004
box "Question" "$LONGER_TEXT" YES
nobox
same $W\\cries.gba $W\\encoded-longer.gba
set 1003 $W\\back.wav
click 1000
same $W\\back.wav $W\\longer-back.wav
close
exit 0
EOF

cp "$tmp/data/cries.gba" "$tmp/data/second.gba"
scenario encode-shorter-and-refused <<EOF
start $EXE $W
set 1002 $W\\second.gba
click 1010
set 1009 "3"
set 1003 $W\\shorter.wav
click 1004
nobox
same $W\\second.gba $W\\encoded-shorter.gba
# A WAV the encoder refuses, and a ROM path that cannot be written.
set 1003 $W\\wide.wav
click 1004
box "Erreur!" "Fichier invalide!" OK
same $W\\second.gba $W\\encoded-shorter.gba
set 1003 $W\\shorter.wav
toggle 1008
set 1002 $W
click 1004
box "Erreur!" "Impossible d'ouvrir la Rom!" OK
# With "Table" checked a missing ROM stops the command before it writes.
toggle 1008
set 1002 $W\\nothing.gba
click 1004
box "Erreur!" "Fichier invalide!" OK
nobox
missing $W\\nothing.gba
close
exit 0
EOF

scenario repoint-and-sizes <<EOF
start $EXE $W
set 1002 $W\\cries.gba
click 1010
set 1003 $W\\longer.wav
click 1016
text 1018 $LONGER_SIZE
text 1015 $ENTRY0
text 1017 $LENGTH0
set 1009 "411"
click 1016
text 1015 $ENTRY410
text 1017 $LENGTH410
set 1009 "412"
click 1016
text 1015 $ENTRY200
set 1009 "277"
click 1016
text 1015 $ENTRY276
# Point ID 2 at the sample of entry 5.
set 1009 "2"
set 1015 $ENTRY5
click 1014
nobox
same $W\\cries.gba $W\\repointed.gba
set 1015 "0"
click 1016
text 1015 $ENTRY5
text 1017 $LENGTH5
set 1003 $W\\nothing.wav
click 1016
box "Erreur!" "Fichier invalide!" OK
set 1002 $W\\nothing.gba
click 1014
box "Erreur!" "Impossible d'ouvrir la Rom!" OK
missing $W\\nothing.gba
close
exit 0
EOF

scenario species <<EOF
start $SPECIES $W
set 1002 $W\\cries.gba
set 1003 $W\\shorter.wav
click 1010
set 1009 "277"
click 1016
text 1015 $ENTRY273
set 1009 "411"
click 1016
text 1015 $ENTRY387
set 1009 "252"
click 1016
text 1015 $ENTRY200
set 1009 "412"
click 1016
text 1015 $ENTRY200
set 1009 "3"
click 1016
text 1015 $ENTRY2
close
exit 0
EOF

# An image laid out as the games lay out theirs: a cry replaced in place by a
# sound of its stored length, without a question, and the cry packed after
# it left whole (the whole image compared with the one expected). Then two
# refusals that leave it as it is: a dump whose WAV path names the ROM
# itself, spelled otherwise, and an encode into the image's header.
scenario game-layout <<EOF
start $EXE $W
set 1002 $W\\game.gba
click 1010
text 1011 "Inconnu. Table trouv\xe9e \xe0 95%"
text 1005 $GAME_TABLE
set 1009 "$GAME_ID"
set 1003 $W\\same.wav
click 1004
nobox
text 1015 $GAME_ENTRY
same $W\\game.gba $W\\encoded-game.gba
set 1003 $W\\.\\GAME.GBA
click 1000
box "Erreur!" "Fichier invalide!" OK
toggle 1013
click 1000
box "Erreur!" "Fichier invalide!" OK
nobox
same $W\\game.gba $W\\encoded-game.gba
toggle 1008
set 1003 $W\\same.wav
set 1015 "BF"
click 1004
box "Erreur!" "Offset invalide!" OK
set 1015 "0"
click 1004
box "Erreur!" "Offset invalide!" OK
nobox
same $W\\game.gba $W\\encoded-game.gba
close
exit 0
EOF

# A hack's image, one of whose cries is stored uncompressed: that cry dumped
# as its values are, then encoded over, after which its cry and reverse
# entries declare a compressed sample (the whole image compared).
scenario hack-uncompressed <<EOF
start $EXE $W
set 1002 $W\\hack.gba
click 1010
text 1005 $GAME_TABLE
set 1009 "$HACK_ID"
set 1003 $W\\hack-out.wav
click 1000
nobox
text 1015 $HACK_ENTRY
same $W\\hack-out.wav $W\\hack-cry.wav
set 1003 $W\\shorter.wav
click 1004
nobox
same $W\\hack.gba $W\\encoded-hack.gba
close
exit 0
EOF

# A repoint in the games' layout moves the reverse entry with the cry's.
scenario repoint-in-step <<EOF
start $EXE $W
set 1002 $W\\game.gba
click 1010
set 1009 "2"
set 1015 $GAME_ENTRY5
click 1014
nobox
same $W\\game.gba $W\\repointed-game.gba
close
exit 0
EOF

# The main job's demonstration ROM: found by the scan, and a WAV beside it
# encodes in without a question (it is shorter than cry 1).
scenario demo <<EOF
start $EXE $W
set 1002 $W\\demo.gba
click 1010
text 1011 "Inconnu. Table trouv\xe9e \xe0 95%"
text 1005 "3A8C0"
set 1003 $W\\chirp.wav
click 1004
nobox
click 1016
text 1018 "FA0"
text 1017 "FA0"
close
exit 0
EOF

# The monkey test: random texts, toggles and presses, every box answered at
# random, on a fresh copy of the test data. MONKEY_SEED replays a run.
seed=${MONKEY_SEED:-$RANDOM}
rm -rf "$tmp/work" && cp -r "$tmp/data" "$tmp/work"
monkey_files=("$W")
for file in game.gba hack.gba cries.gba axve.gba unknown.gba nothing.gba same.wav longer.wav shorter.wav wide.wav cry1.wav; do
  monkey_files+=("$W\\$file")
done
status=0
timeout 300 wine "$driver" monkey "$EXE" "$W" "$seed" "${MONKEY_STEPS:-300}" "${monkey_files[@]}" \
  >"$tmp/scripts/monkey.log" 2>&1 || status=$?
tail -n 1 "$tmp/scripts/monkey.log"
[[ $status -eq 0 ]] || tail -n 30 "$tmp/scripts/monkey.log" >"$tmp/scripts/monkey-tail.log"
result "monkey (seed $seed)" $status "$tmp/scripts/monkey-tail.log"

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
