# Which folder may include which. Every build runs the check (target zrk_layering, part of ALL),
# so an include that points up or sideways fails the build with the file and line named.
#   serial/      plain C++ and POSIX only
#   engine/      the core: serial/
#   bringup/, loader/, filesystem/   the phases: the core and serial/, never another phase, never
#                Qt (their Qt dialogs live in a dialog/ folder that joins the window library)
#   protocol/    the composing engine: the phases and everything below them
#   report/      the run report both front ends write: the core and serial/
# The table itself is in CheckLayering.cmake.
add_custom_target(zrk_layering ALL
  COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayering.cmake
  COMMENT "Checking which folder includes which"
  VERBATIM)
