# The random generator: known answers of its parts, the collection of
# entropy, the request behaviours over fake sources, and the platform's own
# sources (the registry stand-in natively, the real calls under Wine).
tf_add_gtest(random_tests
  SOURCES random_kat_test.cpp random_collect_test.cpp random_generate_test.cpp random_platform_test.cpp
          random_test_util.cpp
  LIBS tf_random)
