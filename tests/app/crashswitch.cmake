# cmake -DSHIPPED=<program> -DVARIANT=<test variant> -P crashswitch.cmake
# Fails when the shipped program holds the crash switch's name, or when the
# test variant does not (then this check would prove nothing).
set(switch KYORO_TEST_CRASH)
file(STRINGS "${VARIANT}" found REGEX "${switch}")
if(NOT found)
  message(FATAL_ERROR "the test variant ${VARIANT} holds no ${switch}: this check looks for the wrong name")
endif()
file(STRINGS "${SHIPPED}" found REGEX "${switch}")
if(found)
  message(FATAL_ERROR "the shipped program ${SHIPPED} holds the test switch ${switch}")
endif()
message(STATUS "${switch} only in the test variant")
