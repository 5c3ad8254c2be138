# quorvel_delay_load(TARGET DLL...): binaries that link TARGET bind each named system DLL on its
# first call instead of at process start, so the loader looks for it only after wWinMain has
# restricted the DLL search to the system folder. DLLs are named without ".dll".
function(quorvel_delay_load target)
  foreach(dll ${ARGN})
    if(MSVC)
      target_link_libraries(${target} PUBLIC ${dll} delayimp)
      target_link_options(${target} INTERFACE /DELAYLOAD:${dll}.dll)
    else()
      # MinGW: a delay-import library for every export the toolchain's import library names.
      find_library(QUORVEL_IMPORT_LIB_${dll} ${dll} REQUIRED)
      execute_process(COMMAND ${CMAKE_NM} ${QUORVEL_IMPORT_LIB_${dll}} OUTPUT_VARIABLE symbols
                      RESULT_VARIABLE failed)
      string(REGEX MATCHALL "[0-9a-f]+ I __imp_[A-Za-z0-9_]+" imports "${symbols}")
      if(failed OR NOT imports)
        message(FATAL_ERROR "no exports of ${dll}.dll found in ${QUORVEL_IMPORT_LIB_${dll}}")
      endif()
      list(TRANSFORM imports REPLACE "^[0-9a-f]+ I __imp_" "  ")
      list(JOIN imports "\n" exports)
      set(dir ${CMAKE_BINARY_DIR}/delay_load)
      file(WRITE ${dir}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
      execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${dir}/${dll}.def --dllname ${dll}.dll
                              --output-delaylib ${dir}/lib${dll}_delayed.a
                      RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "dlltool could not make the delay-import library of ${dll}.dll")
      endif()
      target_link_libraries(${target} PUBLIC ${dir}/lib${dll}_delayed.a)
    endif()
  endforeach()
endfunction()
