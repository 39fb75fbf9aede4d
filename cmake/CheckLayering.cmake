# cmake -DROOT=<tree> -P CheckLayering.cmake
cmake_minimum_required(VERSION 3.25)
# Fails when a file of a layer includes a project header from a folder the layer may not see,
# a Qt header below the front ends, or a system header above the platform folders. A row's entry
# is a folder, or one header ("engine/X.h") when a layer may see that header and nothing else of
# its folder.
set(_layers
  "files:files"
  "serial:serial files"
  "engine:engine serial files"
  "bringup:bringup engine serial files"
  "loader:loader engine serial files"
  "filesystem:filesystem engine serial files"
  "protocol:protocol bringup loader filesystem engine serial files"
  "report:report engine serial files"
  "station:station protocol report bringup loader filesystem engine serial files"
  "app:app station protocol bringup loader filesystem report engine serial files"
  "cli:cli station protocol bringup loader filesystem report engine serial files"
  "sim:sim serial files engine/TargetImages.h")
# The window is the only layer that may use Qt: the command line builds where Qt is not.
set(_qt_layers app)
# Everything above serial/ and files/ must build for Windows and Linux alike, so it names no
# system header: the system calls live in serial/posix/ and files/posix/ behind neutral headers.
# The simulator is a Linux tool and stays out of the rule.
set(_platform_free_layers engine bringup loader filesystem protocol report station app cli)
# The headers of POSIX, Linux and Windows; the C and C++ standard headers (<cerrno>, <ctime>,
# <filesystem>, ...) are everywhere and stay allowed.
set(_system_header "(unistd|fcntl|poll|termios|iconv|dirent|pwd|grp|langinfo|locale|signal|pthread|spawn|dlfcn|pty|libgen|glob|fnmatch|syslog|strings|utime|sched|semaphore|[Ww]indows|winsock2|ws2tcpip|io|direct|process|conio|shlobj|setupapi|winioctl)\\.h|(sys|linux|asm|netinet|arpa|net)/[^>]*")
set(_project_folders files serial engine bringup loader filesystem protocol report station app cli sim tests bench tools)

set(_errors "")
foreach(_entry IN LISTS _layers)
  string(REPLACE ":" ";" _parts "${_entry}")
  list(GET _parts 0 _layer)
  list(GET _parts 1 _allowed)
  string(REPLACE " " ";" _allowed "${_allowed}")
  file(GLOB_RECURSE _files "${ROOT}/${_layer}/*.h" "${ROOT}/${_layer}/*.cpp")
  foreach(_file IN LISTS _files)
    file(STRINGS "${_file}" _lines REGEX "^[ \t]*#[ \t]*include")
    foreach(_line IN LISTS _lines)
      if(_line MATCHES "#[ \t]*include[ \t]*[<\"](Q[A-Za-z]*|Qt[A-Za-z]*/)")
        if(NOT _layer IN_LIST _qt_layers)
          string(APPEND _errors "${_file}: Qt in the ${_layer} layer: ${_line}\n")
        endif()
      elseif(_line MATCHES "#[ \t]*include[ \t]*<(${_system_header})>")
        if(_layer IN_LIST _platform_free_layers)
          string(APPEND _errors
                 "${_file}: system header in the ${_layer} layer (above serial/ and files/): ${_line}\n")
        endif()
      elseif(_line MATCHES "#[ \t]*include[ \t]*\"(([a-z]+)/[^\"]*)\"")
        set(_header "${CMAKE_MATCH_1}")
        set(_folder "${CMAKE_MATCH_2}")
        if(_folder IN_LIST _project_folders AND NOT _folder IN_LIST _allowed
           AND NOT _header IN_LIST _allowed)
          string(APPEND _errors "${_file}: ${_layer}/ may not include ${_folder}/: ${_line}\n")
        endif()
      endif()
    endforeach()
  endforeach()
endforeach()

if(_errors)
  # One line per violation, unwrapped, so that each names its file and include plainly.
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${_errors}")
  message(FATAL_ERROR "Layering violated (see the lines above).")
endif()
