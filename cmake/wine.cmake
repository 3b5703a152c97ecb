# Which Windows build the tests run here. Debian's 32-bit Wine runs the shipped 32-bit patcher where
# the kernel runs i386 programs; its loader is one, so its starting at all answers both questions.
# The end-to-end suite runs the shipped exe (the win32 build) when it can, else the win64 build.
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE _wine32_status
                OUTPUT_QUIET ERROR_QUIET)
if(_wine32_status EQUAL 0)
    set(GARUN2_WINE32 ON)
else()
    set(GARUN2_WINE32 OFF)
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    if(GARUN2_WINE32)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-test.sh)
    endif()
    set(GARUN2_E2E ${GARUN2_WINE32})
elseif(GARUN2_WINE32)
    set(GARUN2_E2E OFF)
else()
    set(GARUN2_E2E ON)
endif()
