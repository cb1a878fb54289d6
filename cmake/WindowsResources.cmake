# orvik_windows_resources(<target> DESCRIPTION <text> [ICON]): gives a Windows executable its
# manifest (common controls 6, per-monitor DPI v2, UTF-8 code page), a version resource from the
# project's version and, with ICON, the program's icon made from resources/icon/orvik-*.png.
set(ORVIK_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},0,0")
set(ORVIK_RC_VERSION_DOTS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")

set(ORVIK_ICO ${CMAKE_BINARY_DIR}/resources/orvik.ico)
set(ORVIK_ICON_PNGS)
foreach(size 16 24 32 48 64 128 256)
    list(APPEND ORVIK_ICON_PNGS ${PROJECT_SOURCE_DIR}/resources/icon/orvik-${size}.png)
endforeach()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(OUTPUT ${ORVIK_ICO}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/resources/windows/make_windows_icon.py
        ${ORVIK_ICO} ${ORVIK_ICON_PNGS}
    DEPENDS ${PROJECT_SOURCE_DIR}/resources/windows/make_windows_icon.py ${ORVIK_ICON_PNGS}
    COMMENT "Packing the program's icon into orvik.ico")
add_custom_target(orvik_windows_icon DEPENDS ${ORVIK_ICO})

function(orvik_windows_resources target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "ICON" "DESCRIPTION" "")
    set(ORVIK_RC_NAME ${target})
    set(ORVIK_RC_FILE ${target}.exe)
    set(ORVIK_RC_DESCRIPTION "${arg_DESCRIPTION}")
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)
    set(ORVIK_RC_MANIFEST ${dir}/${target}.manifest)
    set(ORVIK_RC_ICON_LINE "")
    if(arg_ICON)
        set(ORVIK_RC_ICON_LINE "1 ICON \"${ORVIK_ICO}\"")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.manifest.in
        ${ORVIK_RC_MANIFEST} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.rc.in ${dir}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${dir}/${target}.rc)
    set_property(SOURCE ${dir}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS ${ORVIK_RC_MANIFEST})
    if(arg_ICON)
        set_property(SOURCE ${dir}/${target}.rc APPEND PROPERTY OBJECT_DEPENDS ${ORVIK_ICO})
        add_dependencies(${target} orvik_windows_icon)
    endif()
endfunction()
