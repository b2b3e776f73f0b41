# The Debian package: `cpack` in the build folder makes mirebolt_<version>_<arch>.deb, whose
# dependencies dpkg-shlibdeps finds from the programs' libraries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mirebolt)
set(CPACK_PACKAGE_VENDOR "${MIREBOLT_MAKER}")
set(CPACK_PACKAGE_CONTACT "${MIREBOLT_MAKER} <mirebolt@${MIREBOLT_SITE_ADDRESS}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "certificate based file encryption tool")
set(CPACK_PACKAGE_DESCRIPTION
    "Mirebolt protects single files for a chosen set of people by means of\n\
their X.509 certificates. Each file becomes one standard PKCS #7\n\
enveloped-data message that any PKCS #7 or CMS reader opens with the\n\
private key of one of its recipients. Keys come from the NSS certificate\n\
store that Linux desktops share.\n\
.\n\
This package holds the desktop program mirebolt and the command line\n\
mirebolt-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found at run time, so dpkg-shlibdeps cannot see them: Qt's SVG image plug-in draws the icons
# sharp on screens scaled above 1 (without it they are blurry upscales); Qt's own translations
# put its dialogs and buttons in the language of the window's texts. NSS's certutil,
# pk12util and modutil, which the manual pages point to, are how a person looks after the same
# store by hand; the programs themselves never run them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6svg6, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libnss3-tools")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
include(CPack)
