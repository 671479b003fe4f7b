#pragma once
// Makes the family-9 client's search step 3 of every search cycle.
namespace zadari {

class IT517Series;
class TSearchEngine;

/// From now on each cycle of `engine` starts `client`'s search on the engine's family-9 port,
/// and every device it finds enters the list through the engine's merge. Replies that arrive
/// after the engine was destroyed are dropped. `client` must outlive the engine.
void WireFamily9Search(TSearchEngine& engine, IT517Series& client);

} // namespace zadari
