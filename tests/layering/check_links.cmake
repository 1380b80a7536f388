# Fails unless every library in LINKS is one of ALLOWED (both separated by
# "|"; LINKS as a target's LINK_LIBRARIES gives them).
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" links "${LINKS}")
string(REPLACE "|" ";" allowed "${ALLOWED}")
foreach(library IN LISTS links)
  if(NOT library IN_LIST allowed)
    message(FATAL_ERROR "${TARGET} links ${library}, which is none of: ${allowed}")
  endif()
endforeach()
