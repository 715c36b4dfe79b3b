#!/bin/sh
# Renders, as PNG files in the folder given, on a virtual X display (xvfb-run): the thumbnail list showing
# the samples folder's records in the picture panel's three states; the module's dialog templates and the
# save prompt's progress window in its three languages; the folder tree opened on a temporary folder; the
# window fills; the demo host; the detailed and the simple selection dialog, each opening and saving, in
# the three languages, as they run.
#   scripts/screenshots.sh OUTPUT-FOLDER [BUILD-FOLDER]
set -eu
out=${1:?usage: screenshots.sh OUTPUT-FOLDER [BUILD-FOLDER]}
build=${2:-build}
mkdir -p "$out"
out=$(cd "$out" && pwd)
KIV_SCREENSHOTS="$out" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tests/kivpicture_ui_tests" --gtest_also_run_disabled_tests --gtest_filter='Screenshots.DISABLED_Foundation'
# The hosts below browse a copy of the samples folder, as the dialogs write its cache there. Like any host
# they save the module's settings when they close: into a folder of their own here, never the user's.
config=$(mktemp -d)
copy=$(mktemp -d)
trap 'rm -rf "$config" "$copy"' EXIT
folder=$copy/samples
mkdir "$folder"
cp samples/*.* "$folder/"
# The demo host: its file panel on the samples beside the frame, switched to each language of its menu.
for language in 0 1 2; do
  KIV_CONFIG_DIR="$config" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1024x24" "$build/kivpic-demo" \
    "$folder/hat.jpg" --language $language --screenshot "$out/demo-language-$language.png"
done
# The selection dialogs as kivpic pick shows them with hat.jpg chosen, photographed once settled and
# cancelled. LANGUAGE picks the module's resource language.
for language in en_US zh_CN zh_TW; do
  for dialog in detailed simple; do
    for mode in open save; do
      flags="--$dialog"
      if [ $mode = save ]; then flags="$flags --save"; fi
      LANGUAGE=$language KIV_CONFIG_DIR="$config" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$build/kivpic" pick "$folder/hat.jpg" $flags --screenshot "$out/$dialog-$mode-${language%_US}.png"
    done
  done
done
ls "$out"/*.png
