# A program's --help text and its manual page come from one source, resources/man/<program>.txt
# (tools/man/manpage.py). orvex_help_and_manual(<program> <section> <target>) generates both,
# makes <program>_help.inc includable by <target> and installs the page in man<section>.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(orvex_help_and_manual program section target)
    set(source ${PROJECT_SOURCE_DIR}/resources/man/${program}.txt)
    set(include_dir ${CMAKE_BINARY_DIR}/generated/${program})
    set(help ${include_dir}/${program}_help.inc)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.${section})
    add_custom_command(
        OUTPUT ${help} ${page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${include_dir} ${CMAKE_BINARY_DIR}/man
        COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/man/manpage.py ${source} ${help}
                ${page} ${PROJECT_VERSION}
        DEPENDS ${source} ${PROJECT_SOURCE_DIR}/tools/man/manpage.py
        COMMENT "Help text and manual page of ${program}"
        VERBATIM)
    target_sources(${target} PRIVATE ${help} ${page})
    target_include_directories(${target} PRIVATE ${include_dir})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
