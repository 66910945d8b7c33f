# What `cmake --install build --prefix P` puts where (GNU install directories under P):
#   bin/quillax                                   the command (finds the component in lib/)
#   lib/libKemrin_Quillax.so.1 (+ .so namelink)   the component
#   lib/libquillax_platform.so.1 (+ .so)          the platform layer it and its hosts link
#   lib/libquillax.so.1 (+ .so)                   the C API, loading the component beside it
#   include/quillax/Quillax.h, platform/, hosting/  the public headers
#   include/quillax/quillax.h                     the C API's header
#   lib/python3/dist-packages/quillax/            the Python package (Debian's layout)
#   share/php/Quillax/                            the PHP classes (Debian's layout)
#   lib/cmake/Quillax/                            QuillaxConfig.cmake, ...ConfigVersion.cmake
#   lib/pkgconfig/quillax.pc
#   share/man/man1/quillax.1
#   share/bash-completion/completions/quillax     the command's completion for bash
#   share/doc/quillax/                            LICENSE, NOTICE, README and examples
#   share/doc/quillax/deploy/                     the systemd unit and the nginx site
# Install components: Runtime (the command, the shared libraries, the deployment examples),
# Development (the namelinks, headers, CMake package, pkg-config file).
include(CMakePackageConfigHelpers)

# --- Public headers: copies with their includes rooted at include/ -------------------------
set(QUILLAX_PUBLIC_HEADERS
    component/Quillax.h
    platform/ComBase.h
    platform/ComUtils.h
    platform/OleAuto.h
    platform/OleUtils.h
    platform/Activation.h
    platform/Registry.h
    hosting/Kemrin_Quillax_TLB.h
    hosting/ASPTlb.h
    hosting/EntryPoints.h
    bindings/capi/quillax.h)
set(_public_include ${PROJECT_BINARY_DIR}/include)
set(_installed_headers)
foreach(header ${QUILLAX_PUBLIC_HEADERS})
    if(header STREQUAL "component/Quillax.h")
        set(_target ${_public_include}/quillax/Quillax.h)
    elseif(header STREQUAL "bindings/capi/quillax.h")
        set(_target ${_public_include}/quillax/quillax.h)
    else()
        set(_target ${_public_include}/quillax/${header})
    endif()
    add_custom_command(
        OUTPUT ${_target}
        COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/${header} -DTARGET=${_target}
                -P ${PROJECT_SOURCE_DIR}/cmake/InstalledHeader.cmake
        DEPENDS ${PROJECT_SOURCE_DIR}/${header} ${PROJECT_SOURCE_DIR}/cmake/InstalledHeader.cmake
        COMMENT "Public header ${header}"
        VERBATIM)
    list(APPEND _installed_headers ${_target})
endforeach()
add_custom_target(quillax_public_headers ALL DEPENDS ${_installed_headers})
install(DIRECTORY ${_public_include}/quillax DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT Development)

# --- Libraries and the command ---------------------------------------------------------------
# Installed outside the system's own library folders, the programs and the component find
# their neighbours relative to themselves.
list(FIND CMAKE_PLATFORM_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" _system_libdir)
if(_system_libdir EQUAL -1)
    file(RELATIVE_PATH _lib_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
    set_target_properties(quillax PROPERTIES INSTALL_RPATH "$ORIGIN/${_lib_from_bin}")
    set_target_properties(Kemrin_Quillax PROPERTIES INSTALL_RPATH "$ORIGIN")
    set_target_properties(quillax_capi PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()

target_include_directories(quillax_platform INTERFACE
                           $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
target_compile_features(quillax_platform INTERFACE cxx_std_20)
set_target_properties(quillax_platform PROPERTIES EXPORT_NAME Platform)
set_target_properties(Kemrin_Quillax PROPERTIES EXPORT_NAME Kemrin_Quillax)
set_target_properties(quillax_capi PROPERTIES EXPORT_NAME CApi)

install(TARGETS Kemrin_Quillax quillax_platform quillax_capi
        EXPORT QuillaxTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
                NAMELINK_COMPONENT Development)
install(TARGETS quillax RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)

# --- The CMake package and the pkg-config file -------------------------------------------------
set(_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Quillax)
install(EXPORT QuillaxTargets NAMESPACE Quillax:: DESTINATION ${_package_dir}
        COMPONENT Development)
configure_package_config_file(cmake/QuillaxConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/QuillaxConfig.cmake
                              INSTALL_DESTINATION ${_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuillaxConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuillaxConfig.cmake
              ${PROJECT_BINARY_DIR}/QuillaxConfigVersion.cmake
        DESTINATION ${_package_dir} COMPONENT Development)

# The pkg-config file finds its prefix from its own folder, so the installed tree can move.
file(RELATIVE_PATH QUILLAX_PC_PREFIX_FROM_PCFILEDIR
     ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
if(QUILLAX_PC_PREFIX_FROM_PCFILEDIR STREQUAL "")
    set(QUILLAX_PC_PREFIX_FROM_PCFILEDIR ".")
endif()
set(QUILLAX_PC_DL "")
if(CMAKE_DL_LIBS)
    set(QUILLAX_PC_DL "-l${CMAKE_DL_LIBS}")
endif()
configure_file(cmake/quillax.pc.in ${PROJECT_BINARY_DIR}/quillax.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quillax.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT Development)

# --- The language packages ----------------------------------------------------------------------
# Each finds the C API from its own folder through a file that names the library relative to
# it (the installed tree can move); a package installed another way uses the loader's path.
set(_python_package lib/python3/dist-packages/quillax)
set(_php_classes share/php/Quillax)
foreach(package _python_package _php_classes)
    file(RELATIVE_PATH _library_from_package /prefix/${${package}}
         /prefix/${CMAKE_INSTALL_LIBDIR}/libquillax.so.${PROJECT_VERSION_MAJOR})
    if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
        set(_library_from_package ${CMAKE_INSTALL_LIBDIR}/libquillax.so.${PROJECT_VERSION_MAJOR})
    endif()
    file(WRITE ${PROJECT_BINARY_DIR}/bindings/${package}/library-path "${_library_from_package}\n")
    install(FILES ${PROJECT_BINARY_DIR}/bindings/${package}/library-path
            DESTINATION ${${package}} COMPONENT Runtime)
endforeach()
install(DIRECTORY bindings/python/quillax/ DESTINATION ${_python_package} COMPONENT Runtime
        FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
install(DIRECTORY bindings/php/Quillax/ DESTINATION ${_php_classes} COMPONENT Runtime)

# --- Documentation ---------------------------------------------------------------------------
install(FILES docs/quillax.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
# bash-completion loads it from here when `quillax` is first completed.
install(FILES apps/cli/quillax.bash-completion RENAME quillax
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions COMPONENT Runtime)
install(FILES LICENSE NOTICE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Runtime)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Development)
install(DIRECTORY examples DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT Development)

# --- Deployment examples -------------------------------------------------------------------
# The unit's ExecStart names the command where the default prefix puts it; installed, it
# names the command where this installation puts it.
install(FILES deploy/quillax-nginx.conf DESTINATION ${CMAKE_INSTALL_DOCDIR}/deploy
        COMPONENT Runtime)
install(CODE "set(QUILLAX_UNIT_SOURCE \"${PROJECT_SOURCE_DIR}/deploy/quillax@.service\")
set(QUILLAX_UNIT_STAGED \"${PROJECT_BINARY_DIR}/deploy/quillax@.service\")
set(QUILLAX_UNIT_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
set(QUILLAX_UNIT_DESTINATION \"${CMAKE_INSTALL_DOCDIR}/deploy\")"
        COMPONENT Runtime)
install(CODE [[
    set(_command /usr/local/bin/quillax)
    file(READ "${QUILLAX_UNIT_SOURCE}" _unit)
    string(FIND "${_unit}" "ExecStart=${_command} " _at)
    if(_at EQUAL -1)
        message(FATAL_ERROR "${QUILLAX_UNIT_SOURCE}: ExecStart does not start ${_command}")
    endif()
    set(_bindir "${QUILLAX_UNIT_BINDIR}")
    if(NOT IS_ABSOLUTE "${_bindir}")
        set(_bindir "${CMAKE_INSTALL_PREFIX}/${_bindir}")
    endif()
    string(REPLACE "ExecStart=${_command} " "ExecStart=${_bindir}/quillax " _unit "${_unit}")
    file(WRITE "${QUILLAX_UNIT_STAGED}" "${_unit}")
    set(_destination "${QUILLAX_UNIT_DESTINATION}")
    if(NOT IS_ABSOLUTE "${_destination}")
        set(_destination "${CMAKE_INSTALL_PREFIX}/${_destination}")
    endif()
    file(INSTALL DESTINATION "${_destination}" TYPE FILE FILES "${QUILLAX_UNIT_STAGED}")
]] COMPONENT Runtime)
