# Compiler flags shared by every target.
add_compile_options(-Wall -Wextra)
add_compile_definitions(QT_NO_KEYWORDS)
# The standard library checks its preconditions (an empty optional read, an index past the
# end) and stops the program instead of reading memory that holds something else.
add_compile_definitions(_GLIBCXX_ASSERTIONS)

# scripts/test --sanitize: AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors.
option(MORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(MORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -Werror)
    add_link_options(-fsanitize=address,undefined)
endif()
