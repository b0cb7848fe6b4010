# `cmake --install` (what `make install` and `make deb` run), relative to the prefix:
#   bin/zentrova, bin/zentrova-editor                  RUNPATH $ORIGIN/../lib/zentrova
#   lib/zentrova/libauplatform*.so                     the platform, private to Zentrova's programs
#   lib/audio-components/Zentrova.component/           where the component registry looks
#   lib/lv2/Zentrova.lv2/                              the self-contained plug-in bundle
#   share/man/man1, share/bash-completion/completions, share/applications, share/icons, share/doc
# The component and editor objects carry no RUNPATH once installed: every host links the platform
# library before it loads them, and the loader then finds it by its name.
include(GNUInstallDirs)

set(private_lib lib/zentrova)
set_target_properties(zentrova zentrova-editor PROPERTIES INSTALL_RPATH "$ORIGIN/../${private_lib}")
set_target_properties(auplatform_ui PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS zentrova zentrova-editor RUNTIME DESTINATION bin)
install(TARGETS auplatform auplatform_ui LIBRARY DESTINATION ${private_lib})

# The component bundle (with the editor bundle in its resources) under DESTINATION.
function(zentrova_install_component destination)
  set(contents ${destination}/Zentrova.component/Contents)
  set(view ${contents}/Resources/HFZentrovaViewFactory.bundle/Contents)
  install(TARGETS Zentrova LIBRARY DESTINATION ${contents}/x86_64-linux)
  install(FILES ${ZENTROVA_BUNDLE}/Contents/Info.plist DESTINATION ${contents})
  install(TARGETS HFZentrovaViewFactory LIBRARY DESTINATION ${view}/x86_64-linux)
  install(FILES ${ZENTROVA_VIEW_BUNDLE}/Contents/Info.plist DESTINATION ${view})
  install(FILES ${ZENTROVA_VIEW_BUNDLE}/Contents/Resources/HFZentrovaView.plist
                ${ZENTROVA_VIEW_BUNDLE}/Contents/Resources/HF_Zentrova_Preferences.plist
          DESTINATION ${view}/Resources)
endfunction()
zentrova_install_component(lib/audio-components)

# The LV2 bundle as the build has it: descriptions, plug-in and UI, the editor link, and its own
# copies of the component and the platform libraries.
set(lv2_bundle lib/lv2/Zentrova.lv2)
install(FILES ${ZENTROVA_LV2_BUNDLE}/manifest.ttl ${ZENTROVA_LV2_BUNDLE}/zentrova.ttl ${ZENTROVA_LV2_BUNDLE}/presets.ttl
        DESTINATION ${lv2_bundle})
install(TARGETS zentrova_lv2 zentrova_lv2_ui auplatform auplatform_ui LIBRARY DESTINATION ${lv2_bundle})
install(TARGETS ZentrovaEditorLink LIBRARY DESTINATION ${lv2_bundle}/ZentrovaEditorLink.component/Contents/x86_64-linux)
install(FILES ${ZENTROVA_LV2_BUNDLE}/ZentrovaEditorLink.component/Contents/Info.plist
        DESTINATION ${lv2_bundle}/ZentrovaEditorLink.component/Contents)
zentrova_install_component(${lv2_bundle})

# The factory presets: the live host's MIDI programs, the same files the LV2 bundle describes.
install(FILES ${ZENTROVA_FACTORY_PRESETS} DESTINATION ${CMAKE_INSTALL_DATADIR}/zentrova/presets)

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${ZENTROVA_DOCS_DIR}/man/man1/zentrova.1.gz ${ZENTROVA_DOCS_DIR}/man/man1/zentrova-editor.1.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/man/man1)
# bash-completion loads a command's completion from the file named after it.
foreach(command zentrova zentrova-editor)
  install(FILES ${ZENTROVA_DOCS_DIR}/bash-completion/completions/zentrova
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${command})
endforeach()
install(FILES ${packaging}/desktop/zentrova-editor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/desktop/zentrova.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zentrova)

# The Python package, where Debian's interpreter looks under both /usr and /usr/local:
# lib/python3.X/dist-packages/zentrova/ with the native module, the platform library (found by
# the module's RUNPATH, $ORIGIN) and its own copy of the component, which it finds inside itself.
if(TARGET zentrova_python)
  set(python_package lib/python${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}/dist-packages/zentrova)
  install(FILES ${CMAKE_SOURCE_DIR}/python/zentrova/__init__.py DESTINATION ${python_package})
  install(TARGETS zentrova_python auplatform LIBRARY DESTINATION ${python_package})
  zentrova_install_component(${python_package})
endif()
