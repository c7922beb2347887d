# Headers generated into <build>/generated/config from the facts that have
# their home outside the code:
#   config/Version.h      the version of project() above;
#   config/GuidedFlight.h the options of app/guided-flight.args.
set(VP_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated/config)

configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${VP_GENERATED_DIR}/Version.h @ONLY)

set(VP_GUIDED_FLIGHT_FILE ${PROJECT_SOURCE_DIR}/app/guided-flight.args)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VP_GUIDED_FLIGHT_FILE})
file(STRINGS ${VP_GUIDED_FLIGHT_FILE} VP_GUIDED_FLIGHT_LINES REGEX "^[^#]")
list(LENGTH VP_GUIDED_FLIGHT_LINES VP_GUIDED_FLIGHT_COUNT)
if(NOT VP_GUIDED_FLIGHT_COUNT EQUAL 1)
  message(FATAL_ERROR "${VP_GUIDED_FLIGHT_FILE}: one line of options expected, ${VP_GUIDED_FLIGHT_COUNT} found")
endif()
string(STRIP "${VP_GUIDED_FLIGHT_LINES}" VP_GUIDED_FLIGHT_LINE)
if(VP_GUIDED_FLIGHT_LINE MATCHES "[\"'\\\\]")
  message(FATAL_ERROR "${VP_GUIDED_FLIGHT_FILE}: options without quotes or backslashes expected")
endif()
separate_arguments(VP_GUIDED_FLIGHT_ARGS UNIX_COMMAND "${VP_GUIDED_FLIGHT_LINE}")
list(JOIN VP_GUIDED_FLIGHT_ARGS "\", \"" VP_GUIDED_FLIGHT_ITEMS)
set(VP_GUIDED_FLIGHT_ITEMS "\"${VP_GUIDED_FLIGHT_ITEMS}\"")
list(JOIN VP_GUIDED_FLIGHT_ARGS " " VP_GUIDED_FLIGHT_LINE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/GuidedFlight.h.in ${VP_GENERATED_DIR}/GuidedFlight.h @ONLY)
