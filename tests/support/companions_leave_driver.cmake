# Fails when a companion's source includes the program's own run (driver/):
# the companions take the program's sizes and settings from search/settings.h
# and link cvrp_core, never cvrp_program. Run with -DTOOLS=<the tools folder>.
file(GLOB_RECURSE sources "${TOOLS}/*.cpp" "${TOOLS}/*.h")
if(NOT sources)
  message(FATAL_ERROR "no companion source under ${TOOLS}")
endif()
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "#[ \t]*include[ \t]*[\"<]driver/")
  if(lines)
    message(FATAL_ERROR "${source} includes the program's own run: ${lines}")
  endif()
endforeach()
