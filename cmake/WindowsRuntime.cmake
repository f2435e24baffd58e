# On Windows every program and test is built into one folder, <build>/bin,
# beside the DLLs it needs at run time - Qt's, its platform and style plugins
# and, for MinGW, the C++ runtime - so the build tree runs as the installed
# package does, natively or under Wine. scripts/package-windows.sh zips the
# same files.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

function(pelkon_copy_windows_runtime)
    set(bin ${CMAKE_BINARY_DIR}/bin)
    set(files "")
    if(TARGET Qt6::Core)
        foreach(module Core Gui Widgets Test)
            get_target_property(dll Qt6::${module} IMPORTED_LOCATION_RELEASE)
            if(NOT dll)
                get_target_property(dll Qt6::${module} IMPORTED_LOCATION)
            endif()
            list(APPEND files ${dll})
        endforeach()
        set(plugins ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_PLUGINS})
        foreach(plugin platforms/qwindows.dll platforms/qoffscreen.dll
                styles/qwindowsvistastyle.dll)
            if(EXISTS ${plugins}/${plugin})
                get_filename_component(folder ${plugin} DIRECTORY)
                file(COPY ${plugins}/${plugin} DESTINATION ${bin}/${folder})
            endif()
        endforeach()
    endif()
    if(MINGW)
        foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
            execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
            if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
                find_file(found_${runtime} ${runtime}
                    PATHS /usr/x86_64-w64-mingw32/lib NO_CMAKE_FIND_ROOT_PATH)
                set(found ${found_${runtime}})
            endif()
            list(APPEND files ${found})
        endforeach()
    endif()
    foreach(file ${files})
        if(file AND EXISTS ${file})
            file(COPY ${file} DESTINATION ${bin})
        else()
            message(WARNING "Windows runtime file not found: ${file}")
        endif()
    endforeach()
endfunction()
