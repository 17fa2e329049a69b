# cmake -DSOURCE=resources/moteur -DSORTIE=.../moteur.js -P AssemblerMoteur.cmake
# Joins the engine's per-domain files in name order into the one script the host loads.
file(GLOB parties ${SOURCE}/*.js)
list(SORT parties)
set(texte "")
foreach(p ${parties})
  file(READ ${p} contenu)
  string(APPEND texte "${contenu}")
endforeach()
# Written only when it changes, so dependants are not rebuilt for nothing.
set(ancien "")
if(EXISTS ${SORTIE})
  file(READ ${SORTIE} ancien)
endif()
if(NOT ancien STREQUAL texte)
  file(WRITE ${SORTIE} "${texte}")
endif()
