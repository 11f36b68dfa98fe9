# The service's include rule: a room includes only itself and the rooms after
# it in this list, and the libraries. src/main.cpp belongs to the first room.
#   cmake -DSOURCE_DIR=<repository>/src -P cmake/check_includes.cmake
# Fails, naming every include that breaks the rule; a header of the service
# included without its room ("context_debug.hpp") breaks it too.
set(rooms service intake generators delivery mirror context ops redis)

if(NOT SOURCE_DIR)
    message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<src folder> -P check_includes.cmake")
endif()

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.cpp" "${SOURCE_DIR}/*.hpp")
set(broken "")
foreach(source IN LISTS sources)
    if(source STREQUAL "main.cpp")
        set(room service)
    else()
        string(REGEX MATCH "^[^/]+" room "${source}")
    endif()
    list(FIND rooms "${room}" room_rank)
    if(room_rank LESS 0)
        list(APPEND broken "${source}: not in a room (${rooms})")
        continue()
    endif()
    file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" included "${line}")
        if(NOT included MATCHES "/")
            if(EXISTS "${SOURCE_DIR}/${room}/${included}" OR EXISTS "${SOURCE_DIR}/${included}")
                list(APPEND broken "${source}: \"${included}\" without its room")
            endif()
            continue()
        endif()
        string(REGEX MATCH "^[^/]+" target_room "${included}")
        list(FIND rooms "${target_room}" target_rank)
        if(target_rank GREATER_EQUAL 0 AND target_rank LESS room_rank)
            list(APPEND broken "${source}: ${room} may not include \"${included}\"")
        endif()
    endforeach()
endforeach()

if(broken)
    list(JOIN broken "\n  " text)
    list(JOIN rooms " > " order)
    message(FATAL_ERROR "Include rule broken (a room includes only rooms after it: "
                        "${order}):\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "Include rule kept by ${count} files")
