# cpack -G DEB: a Debian package of what `cmake --install` puts in place.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${WAREHOUSE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${WAREHOUSE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stock ledger for a small shop, Chinese interface")
# The summary above is the synopsis line; this is the long description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "禾岚小型仓储管理软件 keeps the categories and products of a small shop or
warehouse and every stock-in and stock-out in one encrypted ledger file,
and computes remaining stock, turnover, operating profit, the value of the
stock on hand and day-by-day totals. The interface is simplified Chinese.")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the program links (Qt 6 with its platform plugins in libqt6gui6, SQLCipher,
# and whatever else is linked) come from dpkg-shlibdeps; these are loaded by name at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk, qt6-translations-l10n, xdg-utils")
# Without it a Wayland desktop still shows the program, through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
