# Who ships Zentrova and under what terms: the one place the LV2 description, the Debian package
# and its copyright file read them from. The version is the project's (project() above).
set(ZENTROVA_MAINTAINER_NAME "Harrowfield")
set(ZENTROVA_MAINTAINER_EMAIL "zentrova@harrowfield.example")
# SPDX identifier, its URI for doap:license and the Debian copyright short name.
set(ZENTROVA_LICENSE_SPDX "MIT")
set(ZENTROVA_LICENSE_URI "http://opensource.org/licenses/MIT")
set(ZENTROVA_LICENSE_DEBIAN "Expat")
set(ZENTROVA_COPYRIGHT_YEARS "2026")
