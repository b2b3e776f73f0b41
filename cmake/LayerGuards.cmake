# The layers' rules, made part of the build: a file that includes a header its layer must not
# see stops compiling with a message that says why.
#
# Include folders alone already keep NSS and Qt Widgets away from where they don't belong, but
# a header can also be reached through a folder that is on the path anyway (<nss/secerr.h>
# through /usr/include, <QtWidgets/QWidget> through Qt's own root). The guard folders hold
# stand-ins for such headers that stop with #error, and go first on the path of a layer that
# must not use them.

set(MIREBOLT_LAYER_GUARDS ${PROJECT_BINARY_DIR}/layer_guards)

function(mirebolt_write_guard folder header reason)
  set(guard ${MIREBOLT_LAYER_GUARDS}/${folder}/${header})
  set(text "#error \"${reason}\"\n")
  # Written again only when the reason changed, so that a build folder keeps no stale reason.
  if(EXISTS ${guard})
    file(READ ${guard} written)
  endif()
  if(NOT EXISTS ${guard} OR NOT written STREQUAL text)
    file(WRITE ${guard} "${text}")
  endif()
endfunction()

# Every NSS header under its folder's own name (<nss/cert.h>).
foreach(folder IN LISTS NSS_INCLUDE_DIRS)
  if(folder MATCHES "/nss$")
    file(GLOB nss_headers RELATIVE ${folder} ${folder}/*.h)
    foreach(header IN LISTS nss_headers)
      mirebolt_write_guard(no_nss nss/${header} "NSS headers are for nss/ and cms/ only")
    endforeach()
  endif()
endforeach()
# Every Qt Widgets and Qt Gui header includes its module's global header first.
mirebolt_write_guard(no_widgets QtWidgets/qtwidgetsglobal.h "Qt Widgets headers are for ui/ only")
mirebolt_write_guard(no_widgets QtGui/qtguiglobal.h "Qt Gui headers are for ui/ only")

# `target` itself may not include NSS: for the rooms below NSS's own, whose users may.
function(mirebolt_forbid_nss target)
  target_include_directories(${target} BEFORE PRIVATE ${MIREBOLT_LAYER_GUARDS}/no_nss)
endfunction()

# Whatever uses `target` (but not `target` itself) may not include NSS.
function(mirebolt_forbid_nss_to_users target)
  target_include_directories(${target} BEFORE INTERFACE ${MIREBOLT_LAYER_GUARDS}/no_nss)
endfunction()

# `target` itself may not include Qt Widgets or Qt Gui.
function(mirebolt_forbid_widgets target)
  target_include_directories(${target} BEFORE PRIVATE ${MIREBOLT_LAYER_GUARDS}/no_widgets)
endfunction()
