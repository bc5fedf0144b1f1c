# COM, window messages and message boxes come from these system libraries on
# Windows; elsewhere the *_posix.cpp stand-ins provide them.
if(WIN32)
  target_link_libraries(tf_platform PUBLIC ole32 uuid user32)
endif()
