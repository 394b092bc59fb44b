# Runs CheckLayers.cmake on a fixture tree that holds a wrong include of each kind beside
# right ones, and include cycles of two and three units beside two units sharing a header
# (which is none): the check must fail and name exactly the wrong ones.
#
#   cmake -DCHECKER=<CheckLayers.cmake> -DFIXTURE=<fixture root> -P CheckLayersSelfTest.cmake

cmake_minimum_required(VERSION 3.25)

set(expected
    "install/Sequence.cpp:3: install/ may not include sqlite3.h"
    "install/Sequence.cpp:5: install/ may not include app/ (app/Window.h)"
    "install/Sequence.cpp:6: install/ may not include tools/ (tools/tool/Tool.h)"
    "platform/Dialogs.h:2: platform/ may not include the widget header QDialog"
    "platform/Dialogs.h:3: platform/ may not include utils/ (utils/Helpers.h)"
    "platform/Error.cpp:2: include cycle platform/Error -> platform/Text -> platform/Error"
    "platform/Files.cpp:2: include cycle platform/Files -> platform/Prefix -> platform/Paths -> platform/Files"
    "tools/tool/Wrong.cpp:1: tools/ may not include app/ (app/Window.h)"
    "tools/tool/Wrong.cpp:2: tools/ may not include install/ (install/Sequence.h)"
    "utils/Helpers.cpp:4: utils/ may not include the widget header QTreeWidget"
    "utils/Helpers.cpp:5: utils/ may not include the widget header QtWidgets/QLabel"
    "utils/Helpers.cpp:6: utils/ may not include the widget header QWidget"
    "utils/Helpers.cpp:7: utils/ may not include install/ (install/Sequence.h)"
)

execute_process(
    COMMAND ${CMAKE_COMMAND} -DROOT=${FIXTURE} -P ${CHECKER}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)

if(result EQUAL 0)
    message(FATAL_ERROR "The wrong includes of the fixture passed:\n${output}")
endif()
string(REPLACE "\n" ";" lines "${output}")
list(FILTER lines INCLUDE REGEX "^[a-z]+/.*:[0-9]+: ")
list(SORT lines)
if(NOT lines STREQUAL expected)
    string(REPLACE ";" "\n" found "${lines}")
    string(REPLACE ";" "\n" wanted "${expected}")
    message(FATAL_ERROR "Reported:\n${found}\n\nExpected:\n${wanted}")
endif()
message("CheckLayers rejects each wrong include of the fixture and only those")
