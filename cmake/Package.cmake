# `make deb`: the Debian package, built by scripts/make-deb from `cmake --install` into a staging
# folder, its Depends worked out by dpkg-shlibdeps from the shared libraries its programs use.
set(ZENTROVA_DEB_DIR ${CMAKE_BINARY_DIR}/packaging CACHE INTERNAL "")

configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/copyright.in ${ZENTROVA_DEB_DIR}/copyright @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in ${ZENTROVA_DEB_DIR}/changelog @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/control.in ${ZENTROVA_DEB_DIR}/control.in @ONLY)
add_custom_target(deb
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-deb ${CMAKE_BINARY_DIR} ${ZENTROVA_DEB_DIR} ${PROJECT_VERSION}
  DEPENDS zentrova_lv2_bundle zentrova_docs_generated zentrova zentrova-editor
  USES_TERMINAL
  VERBATIM)
