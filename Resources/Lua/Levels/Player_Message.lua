-- Runs just before the player's update in frames when messages came: the
-- object, the number of messages, then for each its number of values and
-- the values. A collision's normal points from the player to what it
-- touches: one pointing down (y below -0.5) means the player stands on
-- something. The update script reads and clears the mark.
local arguments = {...}
local at = 3
for message = 1, arguments[2] do
    local size = arguments[at]
    if arguments[at + 1] == "Collision" then
        if arguments[at + 3] < -0.5 and arguments[at + 5] == 0 then PLAYER_STANDING = true end
    end
    at = at + size + 1
end
