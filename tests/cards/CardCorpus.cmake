# The generated corpus, shared by the card tests and the card benchmark.
if(NOT TARGET vm_card_corpus)
  add_library(vm_card_corpus STATIC
    ${CMAKE_SOURCE_DIR}/tests/cards/CardCorpus.h ${CMAKE_SOURCE_DIR}/tests/cards/CardCorpus.cpp
    ${CMAKE_SOURCE_DIR}/tests/cards/GuardCorpus.h ${CMAKE_SOURCE_DIR}/tests/cards/GuardCorpus.cpp)
  target_link_libraries(vm_card_corpus PUBLIC vm_cards Qt6::Gui PRIVATE vellumora_opencv)
endif()
