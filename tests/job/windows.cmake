# The real windows and the real engine, under Wine: these programs sit beside ZIP32.DLL.
set(JOB_GUI_SOURCES callbacks_test.cpp drop_test.cpp responsiveness_test.cpp)
set(JOB_READER_CHECK_DIR ${CMAKE_CURRENT_BINARY_DIR}/reader_check)
add_executable(job_gui_tests ${JOB_GUI_SOURCES} ${PROJECT_SOURCE_DIR}/tests/engine/expected_archive.cpp)
target_include_directories(job_gui_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/engine)
target_compile_definitions(job_gui_tests PRIVATE TIRVO_JOB_READER_CHECK_DIR="Z:${JOB_READER_CHECK_DIR}")
set_target_properties(job_gui_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_dependencies(job_gui_tests zip32)
gtest_add_tests(TARGET job_gui_tests SOURCES ${JOB_GUI_SOURCES})
# The three readers check the drop's archive of the 64-bit build: ctest finds
# a fixture's setup by name, which the 32-bit build's test shares.
if(TIRVO_WIN_ARCH STREQUAL "win64")
  set_tests_properties(DropArchive.FilesAndFolderMakeAnArchiveWhileTheMainWindowWaits
                       PROPERTIES FIXTURES_SETUP job_reader_archives)
  add_test(NAME job_drop_archive_readers
           COMMAND python3 ${PROJECT_SOURCE_DIR}/tests/engine/check_zip.py --dir ${JOB_READER_CHECK_DIR})
  set_tests_properties(job_drop_archive_readers PROPERTIES FIXTURES_REQUIRED job_reader_archives
                       ENVIRONMENT "LC_ALL=C.UTF-8")
endif()

# Stand-ins for ZIP32.DLL that fail, and a test program in a folder of its
# own, where no real ZIP32.DLL is found first.
set(FAKE_ENGINE_DIR ${CMAKE_CURRENT_BINARY_DIR}/fake_engines)
function(fake_engine name minor init_result set_options)
  add_library(${name} SHARED fake_engine.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/engine)
  target_compile_definitions(${name} PRIVATE FAKE_MINOR=${minor} FAKE_INIT_RESULT=${init_result}
                             FAKE_SET_OPTIONS=${set_options})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".dll" RUNTIME_OUTPUT_DIRECTORY ${FAKE_ENGINE_DIR})
endfunction()
fake_engine(zip32_no_setoptions 3 1 0)
fake_engine(zip32_version24 4 1 1)
fake_engine(zip32_init_fails 3 0 1)
add_executable(job_failure_tests failure_test.cpp)
target_compile_definitions(job_failure_tests PRIVATE TIRVO_FAKE_ENGINE_DIR="Z:${FAKE_ENGINE_DIR}")
set_target_properties(job_failure_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/failure_runner)
add_dependencies(job_failure_tests zip32_no_setoptions zip32_version24 zip32_init_fails)
gtest_add_tests(TARGET job_failure_tests SOURCES failure_test.cpp)

foreach(target job_gui_tests job_failure_tests)
  target_link_libraries(${target} PRIVATE tirvo_win tirvo_resources gtest_main psapi ntdll)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/gui ${PROJECT_SOURCE_DIR}/tests/windows)
  target_compile_options(${target} PRIVATE ${TIRVO_WARNINGS})
endforeach()
