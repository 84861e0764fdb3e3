# ARMv5TE (ARM926EJ-S) device build: Debian's arm-linux-gnueabi GCC with musl's C
# library instead of glibc. musl runs on the device's 2.6.35 kernel and keeps the
# static programs small. C++ comes from headers only: Debian's libstdc++.a is built
# against glibc, so it is never linked, and whatever would need it fails to link.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(BOARD_ARMV5_TRIPLE arm-linux-gnueabi)
set(CMAKE_CXX_COMPILER ${BOARD_ARMV5_TRIPLE}-g++)
set(CMAKE_C_COMPILER ${BOARD_ARMV5_TRIPLE}-gcc)

set(BOARD_MUSL_INCLUDE /usr/include/arm-linux-musleabi)
set(BOARD_MUSL_LIB /usr/lib/arm-linux-musleabi)
set(BOARD_GXX_INCLUDE /usr/${BOARD_ARMV5_TRIPLE}/include/c++)

# Ask the compiler for its own files rather than naming its version.
function(board_gcc_file var name)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT EXISTS "${path}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${name}: run scripts/install-deps.sh example")
  endif()
  set(${var} "${path}" PARENT_SCOPE)
endfunction()
board_gcc_file(BOARD_GCC_INCLUDE include)
board_gcc_file(BOARD_GCC_CRTBEGIN crtbeginT.o)
board_gcc_file(BOARD_GCC_CRTEND crtend.o)
board_gcc_file(BOARD_LIBGCC libgcc.a)
board_gcc_file(BOARD_LIBGCC_EH libgcc_eh.a)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpversion
                OUTPUT_VARIABLE BOARD_GCC_MAJOR OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "\\..*" "" BOARD_GCC_MAJOR "${BOARD_GCC_MAJOR}")
if(NOT EXISTS ${BOARD_MUSL_LIB}/libc.a)
  message(FATAL_ERROR "musl for armel is missing: run scripts/install-deps.sh example")
endif()

set(BOARD_ARMV5_DIR ${CMAKE_CURRENT_LIST_DIR})
# Header order matters: libstdc++ wraps the C headers with #include_next, so its
# directories come first, then GCC's own, then musl's.
set(BOARD_ARMV5_INCLUDES
    ${BOARD_GXX_INCLUDE}/${BOARD_GCC_MAJOR}
    ${BOARD_GXX_INCLUDE}/${BOARD_GCC_MAJOR}/${BOARD_ARMV5_TRIPLE}
    ${BOARD_GCC_INCLUDE}
    ${BOARD_MUSL_INCLUDE})
list(TRANSFORM BOARD_ARMV5_INCLUDES PREPEND "-isystem ")
list(JOIN BOARD_ARMV5_INCLUDES " " BOARD_ARMV5_INCLUDES)

# Single-threaded tools without libsupc++: no thread-safe statics (no __cxa_guard_*).
set(CMAKE_CXX_FLAGS_INIT
    "-march=armv5te -mtune=arm926ej-s -marm -mfloat-abi=soft -Os -fno-pie \
-fno-exceptions -fno-rtti -fno-threadsafe-statics -ffunction-sections -fdata-sections \
-nostdinc ${BOARD_ARMV5_INCLUDES} -include ${BOARD_ARMV5_DIR}/glibc_compat.h")
set(CMAKE_C_FLAGS_INIT
    "-march=armv5te -mtune=arm926ej-s -marm -mfloat-abi=soft -Os -fno-pie \
-ffunction-sections -fdata-sections -nostdinc -isystem ${BOARD_GCC_INCLUDE} \
-isystem ${BOARD_MUSL_INCLUDE}")

# Our own start files and libraries only: musl's crt1/crti/crtn around GCC's static
# crtbegin/crtend, and musl's libc with libgcc for the helpers GCC calls. The output
# is stripped: it is what goes onto the device's small flash.
set(board_link_head "${BOARD_MUSL_LIB}/crt1.o ${BOARD_MUSL_LIB}/crti.o ${BOARD_GCC_CRTBEGIN}")
set(board_link_tail "-Wl,--start-group ${BOARD_MUSL_LIB}/libc.a ${BOARD_LIBGCC} \
${BOARD_LIBGCC_EH} -Wl,--end-group ${BOARD_GCC_CRTEND} ${BOARD_MUSL_LIB}/crtn.o")
# The data segment follows the code in the file without padding it to a page: a static
# musl program never write-protects a RELRO part (only its dynamic linker does), and
# aligning one to a page cost up to 4 KiB of flash per program.
set(board_link_layout "-Wl,-z,norelro -Wl,-z,common-page-size=64")
foreach(lang C CXX)
  set(CMAKE_${lang}_LINK_EXECUTABLE
      "<CMAKE_${lang}_COMPILER> <FLAGS> <CMAKE_${lang}_LINK_FLAGS> <LINK_FLAGS> -static \
-nostdlib -no-pie -s -Wl,--gc-sections ${board_link_layout} ${board_link_head} <OBJECTS> \
-o <TARGET> <LINK_LIBRARIES> ${board_link_tail}")
endforeach()

# operator new/delete and the std::__throw_* helpers that libstdc++'s headers call;
# each program built with board_program() gets this file.
set(BOARD_RUNTIME_SOURCES ${BOARD_ARMV5_DIR}/runtime.cpp)

# Configure checks compile only: a test executable would need the link line above.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH ${BOARD_MUSL_LIB} ${BOARD_MUSL_INCLUDE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# An ARMv5 CPU traps every later instruction; the kernel version is the device's.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -cpu arm926 -r 2.6.35.4)
endif()
