#include "support/window_fixture.h"

namespace {

// The named controls of the card that show, in the card's coordinates.
std::vector<std::pair<QString, QRect>> shownControls(const QWidget* content)
{
    std::vector<std::pair<QString, QRect>> controls;
    for (const QWidget* child : content->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisible() && !child->objectName().isEmpty())
            controls.emplace_back(child->objectName(), QRect(child->mapTo(content, QPoint(0, 0)), child->size()));
    }
    return controls;
}

} // namespace

// In both modes every control lies inside the fixed card and none covers another, the
// key panel's own controls included.
TEST_F(WindowTest, EveryControlLiesInsideTheCardAndNoTwoOverlap)
{
    for (const char* login : {R"({"tokens": {}})", R"({"OPENAI_API_KEY": "sk-k"})"}) {
        temp.write("auth.json", login);
        launch();
        const QWidget* content = widget("content");
        EXPECT_EQ(app->window()->minimumSize(), app->window()->maximumSize());
        for (const QWidget* parent : std::initializer_list<const QWidget*>{content, widget("apiPanel")}) {
            if (!parent->isVisible())
                continue;
            const auto controls = shownControls(parent);
            EXPECT_GE(controls.size(), parent == content ? 12u : 4u);
            for (auto a = controls.begin(); a != controls.end(); ++a) {
                EXPECT_TRUE(QRect(QPoint(0, 0), parent->size()).contains(a->second)) << a->first.toStdString();
                for (auto b = std::next(a); b != controls.end(); ++b)
                    EXPECT_FALSE(a->second.intersects(b->second)) << a->first.toStdString() << " / " << b->first.toStdString();
            }
        }
        app.reset();
    }
}
