#pragma once

#include "NodeList.h"
#include "ScanPool.h"
#include "SiteNode.h"
#include "analysis/FileTypeTable.h"
#include "core/PtrList.h"
#include "core/Sync.h"
#include "core/TextIndex.h"
#include "core/TextPool.h"

#include <functional>
#include <string_view>

namespace lurvik {

enum LimitMode { LIMIT_DOMAIN = 0, LIMIT_HOST = 1, LIMIT_PATH = 2, LIMIT_NONE = 3 };

// The site under investigation: every node, in two ordered lists, with the retrieval limits and
// the callbacks through which the views hear of changes. One engine lives for the whole run.
//
// Only the main thread changes the lists and the links between nodes. Find's thread reads
// doneNodes and the nodes in it while holding lock, so the main thread holds lock whenever it
// changes doneNodes or a node that may be in it; pendingNodes needs no lock because Find never
// reads it. Nodes are found through a hash of their URL, never by walking a list.
//
// The engine is also the link records' environment: maxLinkText and the file type table (whose
// onRegisterFileIcon the views set) come from LinkEnvironment.
class SiteEngine : public LinkEnvironment {
public:
    using NodeChanged = std::function<void(SiteNode*, int code)>;
    using RatePage = std::function<void(const Str& labels, int& rated, int& verdict)>;

    SiteEngine();
    ~SiteEngine();
    SiteEngine(const SiteEngine&) = delete;
    SiteEngine& operator=(const SiteEngine&) = delete;

    // The node for url, made at level when it is new. Null when url is not an HTML page, or when
    // it is new and the page limit is reached. A new node is queued but not announced.
    SiteNode* findOrAddNode(const URL& url, int level);
    SiteNode* findNode(const URL& url, bool inDone, bool inPending) const;
    // Takes a finished node made elsewhere (a site map being read) into doneNodes, unannounced.
    // Its URL must not be known yet. Holds lock.
    SiteNode* adoptDoneNode(std::unique_ptr<SiteNode> node);
    // Destroys every pending node, leaving only finished pages: what a stopped command-line crawl
    // saves.
    void discardPending();
    // Moves node from pendingNodes to doneNodes and announces it. Holds lock.
    void finishNode(SiteNode* node);
    // A page that failed leaves the queue in its turn (see finishInTurn), else at once.
    void nodeFailed(SiteNode* node);
    // The user asked for node ahead of the queue: it is filed as soon as it is done.
    void takeOutOfTurn(SiteNode* node);
    // A page asked for ahead of the queue that is scanned and waits to be linked; null when none.
    SiteNode* scannedOutOfTurn();
    // Queues a node again from scratch; its links are dropped, its parents and children kept.
    int requeueNode(SiteNode* node);
    void rewindPending();
    // Destroys every node that no view shows. Holds lock.
    void purgeHiddenNodes();
    // Forgets every scan and waits for those running. Holds lock.
    void cancelScans();
    // Destroys every node and scan. Holds lock.
    void clearSite();
    // Makes room in the URL index for nodes in all, so that a map being loaded adds its pages
    // without the index growing step by step.
    void reserveNodes(int nodes) { m_byUrl.reserve(static_cast<size_t>(nodes)); }
    void notifyNodeChanged(SiteNode* node);
    void applyRating(SiteNode* node, const Str& labels);
    // Tells the type table what the node's reply header says it is, for an address that does not.
    void noteReplyType(const SiteNode& node);
    bool isBusy() const { return pendingNodes.len() > 0 || scans.outstanding() > 0; }
    void progressText(Str& out) const;
    int nodeCount() const { return doneNodes.len() + pendingNodes.len(); }

    int idleBusy = 0;
    int halted = 0;
    Sync lock{-1};
    // Pages leave the queue in the order they joined it, whatever order their replies and scans
    // end in: a site's tree, levels and map are then the same with one agent or many. A scheduler
    // turns it on, as it files the pages in turn; off, a page leaves as soon as it is done (an
    // archive's import, which reads one page at a time, or pages failed with no scheduler).
    bool finishInTurn = false;
    int limitMode = LIMIT_DOMAIN;
    int maxLevels = 0;
    int maxPages = 0;
    int verifyCache = 0;
    // Fetch each host's robots.txt first and leave the pages it disallows ("ObeySRE").
    int obeyRobots = 0;
    NodeChanged onNodeChanged;
    RatePage onRatePage;
    NodeList doneNodes;
    NodeList pendingNodes;
    ScanPool scans;
    // The link texts of the site's linked pages, and the addresses they name that are not pages
    // of the site, each stored once. Main thread.
    TextPool linkTexts;
    AddressPool linkAddresses;

private:
    void destroyNode(SiteNode* node);
    // Destroys nodes that are already out of both lists. Neighbours that stay have their lists
    // filtered once; when everything goes, nobody's lists are searched at all.
    void destroyNodes(const std::vector<SiteNode*>& going, bool everything);

    struct NodeKey {
        std::string_view operator()(const SiteNode* node) const { return node->url.resourceKey(); }
    };
    TextIndex<SiteNode*, NodeKey> m_byUrl;
    std::vector<SiteNode*> m_outOfTurn;
};

// The engine of the running program, set when it is built.
extern SiteEngine* theEngine;

} // namespace lurvik
