# The factory presets, made by the command-line tool as any user would make them, into
# share/zentrova/presets of the build folder (installed to the same place under the prefix). The
# LV2 bundle describes the same files, and the live host loads them for MIDI program changes
# (program N: the Nth in the order of their names, as LV2 hosts list them).
set(ZENTROVA_PRESET_DIR ${CMAKE_BINARY_DIR}/share/zentrova/presets)
set(ZENTROVA_FACTORY_PRESETS)
function(zentrova_factory_preset file)
  add_custom_command(OUTPUT ${ZENTROVA_PRESET_DIR}/${file}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZENTROVA_PRESET_DIR}
    COMMAND $<TARGET_FILE:zentrova> preset save ${ZENTROVA_PRESET_DIR}/${file} --force ${ARGN}
    DEPENDS zentrova Zentrova
    VERBATIM)
  set(ZENTROVA_FACTORY_PRESETS ${ZENTROVA_FACTORY_PRESETS} ${ZENTROVA_PRESET_DIR}/${file} PARENT_SCOPE)
endfunction()
zentrova_factory_preset(talk_box_sweep.aupreset --name "Talk-Box Sweep"
  --set "Envelope Type=Sweep Up" --set "Trigger Sensitivity=-24" --set "Formant Filter Type=Four Stage BP"
  --set "Start Formant=OO" --set "Middle Formant=A" --set "End Formant=EE"
  --set "Envelope Attack=60" --set "Envelope Release=200")
zentrova_factory_preset(slow_vowel_morph.aupreset --name "Slow Vowel Morph"
  --set "Envelope Type=Track" --set "Trigger Sensitivity=-18" --set "Envelope Shape=0.5"
  --set "Follower Attack Time=800" --set "Follwer Release Time=1500" --set "Formant Filter Type=Three Stage LP"
  --set "Start Formant=U" --set "Middle Formant=E" --set "End Formant=A")
zentrova_factory_preset(subtle_wah.aupreset --name "Subtle Wah"
  --set "Dry Output Level=-6" --set "Formant Level=-8" --set "Envelope Type=Sweep Up"
  --set "Trigger Sensitivity=-20" --set "Formant Filter Type=Two Stage BP" --set "Formant Resonance=0.4"
  --set "Start Formant=OO" --set "Middle Formant=U" --set "End Formant=AE"
  --set "Envelope Attack=40" --set "Envelope Release=150")
add_custom_target(zentrova_factory_presets ALL DEPENDS ${ZENTROVA_FACTORY_PRESETS})
