# Fails when a source file under ROOT, but those of its platform/ folder,
# includes a header of the system (POSIX or Windows): every system call has
# its adapter in platform/, so that a port to another system is that folder.
cmake_minimum_required(VERSION 3.25)
file(GLOB_RECURSE sources RELATIVE "${ROOT}" "${ROOT}/*.h" "${ROOT}/*.cpp")
set(offenders "")
foreach(source IN LISTS sources)
  if(source MATCHES "^platform/")
    continue()
  endif()
  file(STRINGS "${ROOT}/${source}" includes
       REGEX "^[ \t]*#[ \t]*include[ \t]*<(unistd|fcntl|signal|termios|poll|dirent|pwd|grp|dlfcn|spawn|windows|io|direct)\\.h>|^[ \t]*#[ \t]*include[ \t]*<(sys|arpa|netinet)/|^[ \t]*#[ \t]*include[ \t]*<csignal>")
  foreach(line IN LISTS includes)
    string(STRIP "${line}" line)
    list(APPEND offenders "${source}: ${line}")
  endforeach()
endforeach()
if(offenders)
  list(JOIN offenders "\n  " text)
  message(FATAL_ERROR "system headers outside platform/ (give the call an adapter there):\n  ${text}")
endif()
