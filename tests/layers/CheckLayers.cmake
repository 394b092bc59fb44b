# Checks every #include of the source folders against the layers:
#   app -> install -> utils -> platform, and tools -> utils, platform
# (a folder may include itself and the layers it points to); no Qt Widgets header below app/;
# sqlite3.h only in platform/ and tools/.
#
#   cmake -DROOT=<source root> [-DWIDGET_HEADERS=<Qt's QtWidgets include folder>] -P CheckLayers.cmake
#
# Prints each wrong include as "<file>:<line>: <rule>" and fails when there is one.

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT)
    message(FATAL_ERROR "CheckLayers: ROOT (the source root) is not set")
endif()

set(layers app install utils platform tools)
set(allowed_app app install utils platform)
set(allowed_install install utils platform)
set(allowed_utils utils platform)
set(allowed_platform platform)
set(allowed_tools tools utils platform)
set(sqlite_folders platform tools)

# The widget headers: the names every widget program uses, and every header Qt installs in
# its QtWidgets folder when that folder is given.
set(widget_headers QtWidgets QWidget QDialog QMessageBox QFileDialog QApplication)
if(WIDGET_HEADERS)
    file(GLOB installed RELATIVE ${WIDGET_HEADERS} ${WIDGET_HEADERS}/Q*)
    list(APPEND widget_headers ${installed})
endif()

function(is_widget_header header result)
    string(REGEX REPLACE "^QtWidgets/" "" name "${header}")
    set(${result} FALSE PARENT_SCOPE)
    if(header MATCHES "^QtWidgets(/|$)" OR name MATCHES "^Q[A-Za-z]*Widget")
        set(${result} TRUE PARENT_SCOPE)
    elseif(name IN_LIST widget_headers)
        set(${result} TRUE PARENT_SCOPE)
    endif()
endfunction()

# The rule an include breaks, or nothing.
function(broken_rule layer header result)
    set(${result} "" PARENT_SCOPE)
    string(REGEX MATCH "^[^/]+" first "${header}")
    if(header MATCHES "/" AND first IN_LIST layers AND NOT first IN_LIST allowed_${layer})
        set(${result} "${layer}/ may not include ${first}/ (${header})" PARENT_SCOPE)
        return()
    endif()
    if(NOT layer STREQUAL "app")
        is_widget_header("${header}" widget)
        if(widget)
            set(${result} "${layer}/ may not include the widget header ${header}" PARENT_SCOPE)
            return()
        endif()
    endif()
    if(header STREQUAL "sqlite3.h" AND NOT layer IN_LIST sqlite_folders)
        set(${result} "${layer}/ may not include sqlite3.h" PARENT_SCOPE)
    endif()
endfunction()

set(violations 0)
set(files_checked 0)
foreach(layer IN LISTS layers)
    file(GLOB_RECURSE sources RELATIVE ${ROOT}
        ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.hpp ${ROOT}/${layer}/*.cpp ${ROOT}/${layer}/*.cc)
    foreach(source IN LISTS sources)
        math(EXPR files_checked "${files_checked} + 1")
        file(STRINGS ${ROOT}/${source} lines)
        set(number 0)
        foreach(line IN LISTS lines)
            math(EXPR number "${number} + 1")
            if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
                continue()
            endif()
            broken_rule(${layer} "${CMAKE_MATCH_1}" rule)
            if(rule)
                message("${source}:${number}: ${rule}")
                math(EXPR violations "${violations} + 1")
            endif()
        endforeach()
    endforeach()
endforeach()

# An empty or mistyped root would pass without looking at anything.
if(files_checked EQUAL 0)
    message(FATAL_ERROR "CheckLayers: no source file under ${ROOT}")
endif()
if(violations GREATER 0)
    message(FATAL_ERROR "CheckLayers: ${violations} include(s) against the layers")
endif()
message("CheckLayers: ${files_checked} files, every include within its layers")
