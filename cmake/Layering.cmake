# Which folder may include which. Every build runs the check (target zrk_layering, part of ALL),
# so an include that points up or sideways fails the build with the file and line named.
#   files/       plain C++; its posix/ subfolder holds the system calls for files
#   serial/      files/; its posix/ subfolder holds the system calls for ports, waiting, signals
#   engine/      the core: serial/
#   bringup/, loader/, filesystem/   the phases: the core and serial/, never another phase, never
#                Qt (their dialogs live in app/dialogs/)
#   protocol/    the composing engine: the phases and everything below them
#   report/      the run report both front ends write: the core and serial/
#   app/, cli/   the two front ends: everything below them, never each other, never sim/
#   sim/         the simulator program: serial/ (its pseudo-terminal, the hex trace), files/ and
#                engine/TargetImages.h (the images a phone checks), nothing else of the host
# The table itself is in CheckLayering.cmake.
add_custom_target(zrk_layering ALL
  COMMAND ${CMAKE_COMMAND} -DROOT=${CMAKE_SOURCE_DIR} -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayering.cmake
  COMMENT "Checking which folder includes which"
  VERBATIM)
