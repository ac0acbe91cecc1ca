#pragma once

#include <lilv/lilv.h>

#include <QString>
#include <QStringList>

// The LV2 folders of this machine: LV2_PATH, else the usual ones.
QStringList lv2Folders();

// A lilv world that holds one bundle and the core specification, freed with
// the object. No dynamic manifest is run: that would load the bundle's code.
class Lv2World
{
public:
    Lv2World();
    ~Lv2World();
    Lv2World(const Lv2World &) = delete;
    Lv2World &operator=(const Lv2World &) = delete;

    // Loads the bundle at `folder` (absolute) and the core specification;
    // returns the bundle's URI node, owned by the world.
    const LilvNode *loadBundle(const QString &folder);

    LilvWorld *world() const { return m_world; }
    // A URI node kept for the world's lifetime.
    const LilvNode *uri(const char *uri);

private:
    LilvWorld *m_world;
    QList<LilvNode *> m_nodes;
};

// A node a lilv call returned, freed at the end of the scope.
class OwnedNode
{
public:
    explicit OwnedNode(LilvNode *node)
        : m_node(node)
    {
    }
    ~OwnedNode() { lilv_node_free(m_node); }
    OwnedNode(const OwnedNode &) = delete;
    OwnedNode &operator=(const OwnedNode &) = delete;
    const LilvNode *get() const { return m_node; }

private:
    LilvNode *m_node;
};

// A node's text within bounds, empty for none (the data is untrusted).
QString nodeText(const LilvNode *node);
