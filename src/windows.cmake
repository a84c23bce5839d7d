# The Windows program. Every source in src/ui, src/framework and every
# *_win.cpp in src/app and src/job goes into the static library tirvo_win, so
# that test programs run the real windows in-process; Tirvo.exe is the entry
# point, tirvo_win, the portable code and the resources.
file(GLOB TIRVO_WIN_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/framework/*.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/app/*_win.cpp
     ${CMAKE_CURRENT_SOURCE_DIR}/job/*_win.cpp)
set(TIRVO_ENTRY_POINT ${CMAKE_CURRENT_SOURCE_DIR}/app/main_win.cpp)
list(REMOVE_ITEM TIRVO_WIN_SOURCES ${TIRVO_ENTRY_POINT})

add_library(tirvo_win STATIC ${TIRVO_WIN_SOURCES})
target_include_directories(tirvo_win PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}
                           ${PROJECT_SOURCE_DIR}/res ${PROJECT_SOURCE_DIR}/engine)
target_compile_definitions(tirvo_win PUBLIC UNICODE _UNICODE NOMINMAX
                           _WIN32_WINNT=0x0A00 WINVER=0x0A00)
target_compile_options(tirvo_win PRIVATE ${TIRVO_WARNINGS})
if(TARGET tirvo_portable)
  target_link_libraries(tirvo_win PUBLIC tirvo_portable)
endif()
target_link_libraries(tirvo_win PUBLIC comctl32 comdlg32 shell32 ole32 gdi32 user32 advapi32)

# The resource script with its dialog templates, icon and manifest, as an
# object library so that test programs link it too.
file(GLOB TIRVO_RESOURCE_FILES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/res/*.rc ${PROJECT_SOURCE_DIR}/res/*.h
     ${PROJECT_SOURCE_DIR}/res/*.ico ${PROJECT_SOURCE_DIR}/res/*.manifest)
add_library(tirvo_resources OBJECT ${PROJECT_SOURCE_DIR}/res/Tirvo.rc)
target_include_directories(tirvo_resources PRIVATE ${PROJECT_SOURCE_DIR}/res)
set_source_files_properties(${PROJECT_SOURCE_DIR}/res/Tirvo.rc PROPERTIES
                            OBJECT_DEPENDS "${TIRVO_RESOURCE_FILES}")

add_executable(Tirvo WIN32 ${TIRVO_ENTRY_POINT})
target_link_libraries(Tirvo PRIVATE tirvo_win tirvo_resources)
target_compile_options(Tirvo PRIVATE ${TIRVO_WARNINGS})
target_link_options(Tirvo PRIVATE -municode $<$<CONFIG:Release>:-s>)
set_target_properties(Tirvo PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
