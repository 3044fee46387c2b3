# Installs the build into a private prefix, compiles each installed header
# alone, then builds and runs the consumer program against it twice, with
# find_package(tarnalert) and with pkg-config, and runs the installed tool,
# which must find the installed library by itself.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()
set(state TARNALERT_STATE_DIR=${WORK_DIR}/state TARNALERT_LOG_FILE=${WORK_DIR}/state/tarnalert.log)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# Every installed header compiles on its own: a consumer may include any one
# of them by its installed path.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*.h)
list(LENGTH headers count)
if(count LESS 20)
  message(FATAL_ERROR "only ${count} headers installed under ${prefix}/include")
endif()
set(sources)
foreach(header IN LISTS headers)
  string(MAKE_C_IDENTIFIER ${header} name)
  file(WRITE ${WORK_DIR}/headers/${name}.cc "#include <${header}>\n")
  list(APPEND sources ${WORK_DIR}/headers/${name}.cc)
endforeach()
run(${CXX} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${prefix}/include ${sources})

# CMake.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${CMAKE_COMMAND} -E env ${state} ${WORK_DIR}/build/consumer)

# pkg-config.
find_program(PKG_CONFIG pkg-config)
if(NOT PKG_CONFIG)
  message(FATAL_ERROR "pkg-config is missing: install the Debian package pkg-config")
endif()
set(ENV{PKG_CONFIG_PATH} ${prefix}/${LIBDIR}/pkgconfig)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs tarnalert
  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know tarnalert under ${prefix}/${LIBDIR}/pkgconfig")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
# Where the program finds the library when it runs, as the README says.
execute_process(COMMAND ${PKG_CONFIG} --variable=libdir tarnalert
  OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE)
run(${CXX} -std=c++17 ${SOURCE_DIR}/main.cc ${flags} -Wl,-rpath,${libdir}
    -o ${WORK_DIR}/consumer-pkgconfig)
run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${state} ${WORK_DIR}/consumer-pkgconfig)

# The installed tool, without any library path of the environment.
run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/${BINDIR}/tarnalert --version)
run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${state}
    ${prefix}/${BINDIR}/tarnalert config check ${EXAMPLE})
